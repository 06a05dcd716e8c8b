#include "config.h"

#include "appInfo.h"
#include "appguide.h"
#include "common.h"
#include "configformat.h"
#include "configkeys.h"
#include "desktop.h"

#include <QDate>
#include <QDesktopServices>
#include <QFile>
#include <QSettings>
#include <QUrl>

using namespace configkeys;

namespace {

CConfig* g_pFig = nullptr;

constexpr size_t kSettingsFolderSize = 1024;
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

QString todayText()
{
    return QDate::currentDate().toString(kDateFormat);
}

QString underFolder(desktop::Folder kind, const QString& name)
{
    return desktop::standardFolder(kind) + QLatin1Char('/') + name;
}

} // namespace

CConfig* CConfig::instance()
{
    if (!g_pFig) {
        g_pFig = new CConfig;
        // Loading may write to the UI log, which asks for the settings in
        // turn: they are reachable, with their folders, before they load.
        g_pFig->Load();
    }
    return g_pFig;
}

void CConfig::Destroy()
{
    delete g_pFig;
    g_pFig = nullptr;
}

CConfig::CConfig()
{
    ReadBundle();
    const QString settingsFolder = MakeFolders();
    g_strDBName = m_strLogFile + QStringLiteral("/MusicLibrary.db");
    OpenStore(settingsFolder);
}

CConfig::~CConfig() = default;

void CConfig::ReadBundle()
{
    char buffer[kInfoValueSize] = {};
    GetInfoAttribute_s(buffer, sizeof buffer, "CFBundleVersion");
    g_strVersion = QString::fromUtf8(buffer);
    g_strBundleId = AppBundleIdentifier();
}

// Returns the settings folder. On a normal system it is the data folder
// too, reached by another computation.
QString CConfig::MakeFolders()
{
    char buffer[kSettingsFolderSize] = {};
    applicationDataDirectory_s(buffer, sizeof buffer, kAppSupportFolder, g_strBundleId.toUtf8().constData());
    CreateDirectory(buffer);

    m_strDowndImgPath = underFolder(desktop::Folder::Pictures, g_strBundleId);
    m_strLogFile = underFolder(desktop::Folder::DataHome, g_strBundleId);
    m_strMusicPath = underFolder(desktop::Folder::Music, g_strBundleId);
    CreateFolder(m_strDowndImgPath);
    CreateFolder(m_strLogFile);
    CreateFolder(m_strMusicPath);
    const QString separator = m_strDowndImgPath.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/");
    m_strTrashPath = m_strDowndImgPath + separator + QStringLiteral("Ossival_Trash");
    CreateFolder(m_strTrashPath);
    // Never the root folder: without a settings folder the file goes with the data.
    const QString settingsFolder = QString::fromUtf8(buffer);
    return settingsFolder.isEmpty() ? m_strLogFile : settingsFolder;
}

void CConfig::OpenStore(const QString& settingsFolder)
{
    const QString path = settingsFolder + QStringLiteral("/vessolin.plist");
    m_pSettings = std::make_unique<QSettings>(path, PlistSettingsFormat());
    KeepFilePrivate(false);
}

// The file holds the proxy password: only its owner may read it. The store
// keeps the permissions of the file it replaces, so it is enough to make the
// file owner-only before the store first writes it.
void CConfig::KeepFilePrivate(bool create)
{
    const QString path = m_pSettings->fileName();
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!QFile::exists(path)) {
        QFile file(path);
        if (create)
            file.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly);
        return;
    }
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
        | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (QFile::permissions(path) & others)
        QFile::setPermissions(path, ownerOnly);
}

void CConfig::Load()
{
    if (m_pSettings->status() == QSettings::FormatError)
        WriteUILog(QStringLiteral("Settings file %1 cannot be read; the defaults are used")
                       .arg(m_pSettings->fileName()));
    LoadProxy();
    LoadOptions();
    OpenFirstRunPage();
    CheckHistory();
    CheckUpdateDate();
    m_strHistoryDate = m_pSettings->value(kClearDate, todayText()).toString();
    if (!QDate::fromString(m_strHistoryDate, kDateFormat).isValid()) {
        m_strHistoryDate = todayText();
        m_pSettings->setValue(kClearDate, m_strHistoryDate);
    }
}

void CConfig::LoadProxy()
{
    m_iUseProxy = m_pSettings->value(kUseProxy, false).toBool() ? 1 : 0;
    m_iProxyType = m_pSettings->value(kProxyType, 0).toInt();
    m_strProxyHost = m_pSettings->value(kProxyHost, QString()).toString();
    m_iProxyPort = m_pSettings->value(kProxyPort, 0).toInt();
    m_strProxyName = m_pSettings->value(kProxyName, QString()).toString();
    m_strProxyPass = m_pSettings->value(kProxyPass, QString()).toString();
}

void CConfig::LoadOptions()
{
    m_iMsgInfo = m_pSettings->value(kMsgInfo, 0).toInt();
    m_iAutoUpdate = m_pSettings->value(kAutoUpdate, 1).toInt();
    m_iAutoDays = m_pSettings->value(kUpdateDays, 7).toInt();
    m_iUpdateYear = m_pSettings->value(kUpdateYear, -1).toInt();
    m_iUpdateMonth = m_pSettings->value(kUpdateMonth, -1).toInt();
    m_iUpdateDay = m_pSettings->value(kUpdateDay, -1).toInt();
    Genernal = m_pSettings->value(kGenernal, 0x08010C00).toInt();
    Duplicate = m_pSettings->value(kDuplicate, 0x31020C20).toInt();
    Replace = m_pSettings->value(kReplace, 0x01000C00).toInt();
    m_iOpenUrl = m_pSettings->value(kOpenUrl, 1).toInt();
}

void CConfig::OpenFirstRunPage()
{
    if (m_iOpenUrl != 1 || INSTALL.isEmpty())
        return;
    QDesktopServices::openUrl(QUrl(INSTALL));
    m_iOpenUrl = 0;
}

// Corrected values go to the store at once, so the file holds them even if
// the settings are never saved.
void CConfig::CheckHistory()
{
    HistoryOpt = m_pSettings->value(kHistoryOpt, 0).toInt();
    if (unsigned(HistoryOpt) > 3) {
        HistoryOpt = 0;
        m_pSettings->setValue(kHistoryOpt, HistoryOpt);
    }
    ClearDays = m_pSettings->value(kClearDays, 7).toInt();
    if (ClearDays < 1) {
        ClearDays = 7;
        m_pSettings->setValue(kClearDays, ClearDays);
    }
}

// A missing last-check date counts from today, so the update schedule
// starts with the first run.
void CConfig::CheckUpdateDate()
{
    if (m_iUpdateYear != -1 && m_iUpdateMonth != -1 && m_iUpdateDay != -1)
        return;
    const QDate today = QDate::currentDate();
    m_iUpdateYear = today.year();
    m_iUpdateMonth = today.month();
    m_iUpdateDay = today.day();
}

void CConfig::Save()
{
    KeepFilePrivate(true);
    QSettings& store = *m_pSettings;
    store.setValue(kUseProxy, m_iUseProxy ? 1 : 0);
    store.setValue(kProxyType, m_iProxyType);
    store.setValue(kProxyHost, m_strProxyHost);
    store.setValue(kProxyPort, m_iProxyPort);
    store.setValue(kProxyName, m_strProxyName);
    store.setValue(kProxyPass, m_strProxyPass);
    store.setValue(kMsgInfo, m_iMsgInfo);
    store.setValue(kAutoUpdate, m_iAutoUpdate);
    store.setValue(kUpdateDays, m_iAutoDays);
    store.setValue(kUpdateYear, m_iUpdateYear);
    store.setValue(kUpdateMonth, m_iUpdateMonth);
    store.setValue(kUpdateDay, m_iUpdateDay);
    store.setValue(kOpenUrl, m_iOpenUrl);
    store.setValue(kGenernal, Genernal);
    store.setValue(kDuplicate, Duplicate);
    store.setValue(kReplace, Replace);
    store.setValue(kHistoryOpt, HistoryOpt);
    store.setValue(kClearDays, ClearDays);
    store.setValue(kClearDate, m_strHistoryDate);
}

int CConfig::GetUseProxy() const { return m_iUseProxy; }
void CConfig::SetUseProxy(int use) { m_iUseProxy = use; }
int CConfig::GetProxyType() const { return m_iProxyType; }
void CConfig::SetProxyType(int type) { m_iProxyType = type; }
QString CConfig::GetProxyHost() const { return m_strProxyHost; }
void CConfig::SetProxyHost(const QString& host) { m_strProxyHost = host; }
int CConfig::GetProxyPort() const { return m_iProxyPort; }
void CConfig::SetProxyPort(int port) { m_iProxyPort = port; }
QString CConfig::GetProxyUserName() const { return m_strProxyName; }
void CConfig::SetProxyUserName(const QString& name) { m_strProxyName = name; }
QString CConfig::GetProxyPassword() const { return m_strProxyPass; }
void CConfig::SetProxyPassword(const QString& password) { m_strProxyPass = password; }
int CConfig::GetMsgInfo() const { return m_iMsgInfo; }
void CConfig::SetMsgInfo(int state) { m_iMsgInfo = state; }
int CConfig::GetAutoUpdate() const { return m_iAutoUpdate; }
void CConfig::SetAutoUpdate(int schedule) { m_iAutoUpdate = schedule; }
int CConfig::GetAutoDays() const { return m_iAutoDays; }
void CConfig::SetAutoDays(int days) { m_iAutoDays = days; }

int CConfig::GetUpdateData(int& year, int& month, int& day)
{
    year = m_iUpdateYear;
    month = m_iUpdateMonth;
    day = m_iUpdateDay;
    return 0;
}

void CConfig::SetUpdateData(int year, int month, int day)
{
    m_iUpdateYear = year;
    m_iUpdateMonth = month;
    m_iUpdateDay = day;
}

QString CConfig::GetLogFile() const { return m_strLogFile; }
void CConfig::SetLogFile(const QString& folder) { m_strLogFile = folder; }
QString CConfig::GetMusicPath() const { return m_strMusicPath; }
void CConfig::SetMusicPath(const QString& folder) { m_strMusicPath = folder; }
QString CConfig::GetDowndImgPath() const { return m_strDowndImgPath; }
void CConfig::SetDowndImgPath(const QString& folder) { m_strDowndImgPath = folder; }

QString CConfig::GetTrashPath() { return m_strTrashPath; }
