// The update check: asks the update endpoint for the newest version of the
// product, compares it with the running one and reports the outcome. The
// endpoint's host comes from the build (VESSOLIN_UPDATE_HOST); the
// environment variable VESSOLIN_UPDATE_URL replaces it (scheme, host and
// port; the path stays). GUI thread only.
#pragma once

#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariant>

class QNetworkReply;
class WhatsNew;

// Outcome codes of updateInfo.
enum EUpdateState {
    UPDATE_NEWER = 1,       // extra: the description; the link may have been refused
    UPDATE_NEWEST = 2,      // extra: the reply's version
    UPDATE_FAILED = -1,     // extra: the network error text, an oversized or a late answer
    UPDATE_MALFORMED = -4,  // extra: the XML parser's message
    UPDATE_NOT_FOUND = -5,  // extra: the error text, or the update name
    UPDATE_NO_SETTING = -7, // extra: "setting error"
};

// What a check sends (update name, version) and the proxy it goes through.
class CRegisterSetting : public QObject
{
    Q_OBJECT
public:
    explicit CRegisterSetting(QObject* parent);
    // Sets the product and the update name to product, and the version and language.
    virtual void init(const QString& product, const QString& version, const QString& language);
    void setUpdateName(const QString& name);
    void setProxy(const QNetworkProxy& proxy);
    QString product() const;
    QString updateName() const;
    QString version() const;
    QString language() const;
    QNetworkProxy proxy() const;

private:
    QString m_strProduct;
    QString m_strUpdateName;
    QString m_strVersion;
    QString m_strLanguage;
    QNetworkProxy m_proxy;
};

// Sends the request and turns its reply into an outcome. Every reply is
// released once handled; redirects are not followed. An answer past
// kMaxUpdateAnswerBytes or the time limit is cut off and fails.
class CUpdater : public QObject
{
    Q_OBJECT
public:
    explicit CUpdater(CRegisterSetting* parent);
    CRegisterSetting* registerSetting() const;  // null when the parent is none
    // Starts one check; the outcome comes later through updateInfo.
    void getVersionInfo();
    // The time limit of the checks started afterwards, answer included: the
    // web-service layer's 30 seconds unless set.
    void setTimeLimitMs(int ms);
    QString newVersion() const;
    QString newDescription() const;
    // Empty when the answer named no link that may be offered.
    QUrl newDownloadUrl() const;

public slots:
    void requestFinish1(QNetworkReply* reply);

signals:
    void updateInfo(int state, const QVariant& extra);

private:
    // What a reply under way has brought, and why it was cut off.
    struct tagAnswer {
        QByteArray body;
        QString cutOff;
    };

    void limitReply(QNetworkReply* reply);
    void takeAnswerData(QNetworkReply* reply);
    void cutOff(QNetworkReply* reply, const QString& why);
    void readReply(const QByteArray& body);
    void takeDownloadLink(const QString& link, const QString& code);

    // Before the manager, so it outlives the replies the manager ends.
    QHash<QNetworkReply*, tagAnswer> m_answers;
    QNetworkAccessManager m_manager;
    QString m_strUrl;
    QString m_strNewVersion;
    QString m_strDescription;
    QString m_strDisplayName;
    QUrl m_urlDownload;
    int m_iTimeLimitMs;
};

// An update answer is a few KB; one this large is not read further.
constexpr qint64 kMaxUpdateAnswerBytes = 1024 * 1024;

// The endpoint: the host, then "/update-product-info/update.php".
QString UpdateEndpoint();
// "action=getinfo&product=..&versioncur=..", values percent-encoded as UTF-8.
QByteArray UpdateQuery(const QString& updateName, const QString& version);
// True when reply names a newer version than current.
bool IsNewerVersion(const QString& current, const QString& reply);
// Whether the answer's download link may be opened: https with a host, or
// http when the endpoint itself is asked over http.
bool IsOfferedUpdateLink(const QUrl& link, const QUrl& endpoint);

// For the main window. The settings object with the product's name and
// version, a child of owner.
CRegisterSetting* CreateUpdateSetting(QObject* owner);
// The proxy the settings ask for; a port outside 1..65535 becomes 0, so the
// check fails as a proxy failure instead of using a cut-down port.
QNetworkProxy UpdateProxyFromSettings();
// The "Check for updates" action: the proxy from the settings, then a check.
void StartUpdateCheck(CRegisterSetting* setting, CUpdater* updater);
// Title, message, description, link and buttons of the outcome window.
void FillUpdateOutcome(WhatsNew* window, const CUpdater* updater, int state);
// Shows the outcome of state modally over parent, logging it first.
void ShowUpdateOutcome(QWidget* parent, const CUpdater* updater, int state);
