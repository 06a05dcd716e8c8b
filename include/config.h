// The application's settings: one process-wide object that fixes and makes
// the per-user folders, loads "vessolin.plist" once and writes it back on
// Save. Made on the GUI thread before any worker; workers only read.
#pragma once

#include <QString>

#include <memory>

class QSettings;

class CConfig
{
public:
    // The settings; the first call makes the folders and loads the file. Never null.
    static CConfig* instance();
    // Deletes the settings without saving; the next instance() loads again.
    static void Destroy();

    // Puts every key into the store; the file follows when the store syncs
    // or is destroyed.
    void Save();

    int GetUseProxy() const;
    void SetUseProxy(int use);
    int GetProxyType() const;
    void SetProxyType(int type);
    QString GetProxyHost() const;
    void SetProxyHost(const QString& host);
    int GetProxyPort() const;
    void SetProxyPort(int port);
    QString GetProxyUserName() const;
    void SetProxyUserName(const QString& name);
    QString GetProxyPassword() const;
    void SetProxyPassword(const QString& password);
    int GetMsgInfo() const;
    void SetMsgInfo(int state);
    int GetAutoUpdate() const;
    void SetAutoUpdate(int schedule);
    int GetAutoDays() const;
    void SetAutoDays(int days);
    int GetUpdateData(int& year, int& month, int& day);
    void SetUpdateData(int year, int month, int day);

    // Folders; the setters change memory only and make nothing.
    QString GetLogFile() const;        // the data folder
    void SetLogFile(const QString& folder);
    QString GetMusicPath() const;
    void SetMusicPath(const QString& folder);
    QString GetDowndImgPath() const;   // the artwork folder
    void SetDowndImgPath(const QString& folder);
    QString GetTrashPath();

    // Option words the preference pages write directly.
    int Genernal = 0x08010C00;   // analysis mask
    int Duplicate = 0x31020C20;  // duplicate scan mask
    int Replace = 0x01000C00;    // fields overwritten on apply, and OPT_REPLACE_META
    int HistoryOpt = 0;
    int ClearDays = 7;           // removal history older than this is cleared

private:
    CConfig();
    ~CConfig();
    CConfig(const CConfig&) = delete;
    CConfig& operator=(const CConfig&) = delete;

    void ReadBundle();
    QString MakeFolders();
    void OpenStore(const QString& settingsFolder);
    void Load();
    void LoadProxy();
    void LoadOptions();
    void CheckUpdateDate();
    void CheckHistory();
    void OpenFirstRunPage();
    void KeepFilePrivate(bool create);

    std::unique_ptr<QSettings> m_pSettings;
    QString m_strDowndImgPath;
    QString m_strMusicPath;
    QString m_strLogFile;
    QString m_strHistoryDate;
    QString m_strTrashPath;
    int m_iUseProxy = 0;
    int m_iProxyType = 0;
    QString m_strProxyHost;
    int m_iProxyPort = 0;
    QString m_strProxyName;
    QString m_strProxyPass;
    int m_iMsgInfo = 0;
    int m_iAutoUpdate = 1;
    int m_iAutoDays = 7;
    int m_iUpdateYear = -1;
    int m_iUpdateMonth = -1;
    int m_iUpdateDay = -1;
    int m_iOpenUrl = 1;
};
