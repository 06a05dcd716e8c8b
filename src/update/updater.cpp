#include "update/updater.h"

#include "common.h"
#include "platformbase.h"

#include <QDomDocument>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

const QString kSettingError = QStringLiteral("setting error");
// The network thread hands an answer over in pieces of at most this size.
constexpr qint64 kAnswerPieceBytes = 64 * 1024;

QString tooLargeText()
{
    return QStringLiteral("answer larger than %1 bytes").arg(kMaxUpdateAnswerBytes);
}

QString childText(const QDomElement& parent, const char* name)
{
    return parent.firstChildElement(QString::fromLatin1(name)).text();
}

int partNumber(const QString& part)
{
    bool ok = false;
    const int n = part.toInt(&ok, 10);
    return ok ? n : 0;
}

} // namespace

QString UpdateEndpoint()
{
    QString host = qEnvironmentVariable("VESSOLIN_UPDATE_URL");
    if (host.isEmpty())
        host = QStringLiteral(VESSOLIN_UPDATE_HOST);
    while (host.endsWith(QLatin1Char('/')))
        host.chop(1);
    return host + QStringLiteral("/update-product-info/update.php");
}

QByteArray UpdateQuery(const QString& updateName, const QString& version)
{
    // toPercentEncoding leaves exactly A-Z, a-z, 0-9, "-", ".", "_" and "~"
    // alone and writes upper-case hexadecimal, which is what the endpoint reads.
    return "action=getinfo&product=" + updateName.toUtf8().toPercentEncoding()
        + "&versioncur=" + version.toUtf8().toPercentEncoding();
}

bool IsNewerVersion(const QString& current, const QString& reply)
{
    if (current == reply)
        return false;
    const QStringList mine = current.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    const QStringList theirs = reply.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    const qsizetype n = qMin(mine.size(), theirs.size());
    for (qsizetype i = 0; i < n; ++i) {
        const int a = partNumber(mine.at(i));
        const int b = partNumber(theirs.at(i));
        if (a != b)
            return b > a;
    }
    return theirs.size() >= mine.size();
}

bool IsOfferedUpdateLink(const QUrl& link, const QUrl& endpoint)
{
    if (!IsWebLink(link))
        return false;
    return link.scheme().toLower() == QLatin1String("https") || endpoint.scheme().toLower() == QLatin1String("http");
}

CUpdater::CUpdater(CRegisterSetting* parent)
    : QObject(parent)
    , m_strUrl(UpdateEndpoint())
    , m_iTimeLimitMs(kWebRequestDeadlineMs)
{
    connect(&m_manager, &QNetworkAccessManager::finished, this, &CUpdater::requestFinish1);
}

CRegisterSetting* CUpdater::registerSetting() const
{
    return qobject_cast<CRegisterSetting*>(parent());
}

QString CUpdater::newVersion() const { return m_strNewVersion; }
QString CUpdater::newDescription() const { return m_strDescription; }
QUrl CUpdater::newDownloadUrl() const { return m_urlDownload; }

void CUpdater::setTimeLimitMs(int ms)
{
    m_iTimeLimitMs = ms > 0 ? ms : kWebRequestDeadlineMs;
}

void CUpdater::getVersionInfo()
{
    CRegisterSetting* setting = registerSetting();
    if (!setting) {
        emit updateInfo(UPDATE_NO_SETTING, kSettingError);
        return;
    }
    QUrl url(m_strUrl);
    url.setQuery(QString::fromLatin1(UpdateQuery(setting->updateName(), setting->version())), QUrl::StrictMode);
    QNetworkRequest request(url);
    // The outcome codes describe the endpoint's own answer; a redirect is
    // that answer, not an invitation to ask somewhere else.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    m_manager.setProxy(setting->proxy());
    limitReply(m_manager.get(request));
}

// The reply's timer and connections end with it, so a late or oversized
// answer is cut off without anything left to clean up.
void CUpdater::limitReply(QNetworkReply* reply)
{
    m_answers.insert(reply, tagAnswer());
    // Read here as it comes: without a limit on its buffer the network
    // thread reads on for as long as data keeps coming and hands it over
    // only in a pause, which an endless answer never makes.
    reply->setReadBufferSize(kAnswerPieceBytes);
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { takeAnswerData(reply); });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxUpdateAnswerBytes)
            cutOff(reply, tooLargeText());
    });
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    const int limitMs = m_iTimeLimitMs;
    connect(deadline, &QTimer::timeout, this,
            [this, reply, limitMs] { cutOff(reply, QStringLiteral("timed out after %1 ms").arg(limitMs)); });
    deadline->start(limitMs);
}

// Keeps what has come, never more than one byte past the limit.
void CUpdater::takeAnswerData(QNetworkReply* reply)
{
    const auto answer = m_answers.find(reply);
    if (answer == m_answers.end() || !reply->isOpen())  // closed by a cut-off
        return;
    answer->body += reply->read(kMaxUpdateAnswerBytes + 1 - answer->body.size());
    if (answer->body.size() > kMaxUpdateAnswerBytes)
        cutOff(reply, tooLargeText());
}

// The abort ends the reply at once, through requestFinish1.
void CUpdater::cutOff(QNetworkReply* reply, const QString& why)
{
    const auto answer = m_answers.find(reply);
    if (answer == m_answers.end() || !answer->cutOff.isEmpty())
        return;
    answer->cutOff = why;
    reply->abort();
}

void CUpdater::requestFinish1(QNetworkReply* reply)
{
    reply->deleteLater();
    // The last piece of an answer can come with its end.
    takeAnswerData(reply);
    const tagAnswer answer = m_answers.take(reply);
    if (!registerSetting()) {
        emit updateInfo(UPDATE_NO_SETTING, kSettingError);
        return;
    }
    if (!answer.cutOff.isEmpty()) {
        emit updateInfo(UPDATE_FAILED, answer.cutOff);
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        const int state = reply->error() == QNetworkReply::ContentNotFoundError ? UPDATE_NOT_FOUND : UPDATE_FAILED;
        emit updateInfo(state, reply->errorString());
        return;
    }
    readReply(answer.body);
}

void CUpdater::readReply(const QByteArray& body)
{
    QDomDocument document;
    QString message;
    if (!document.setContent(body, false, &message)) {
        emit updateInfo(UPDATE_MALFORMED, message);
        return;
    }
    const QDomElement root = document.documentElement();
    const QString code = childText(root, "upd:ProductCode");
    m_strDisplayName = childText(root, "upd:ProductDisplayName");
    m_strNewVersion = childText(root, "upd:ProductVer");
    const QString downloadUrl = childText(root, "upd:DownloadURL");
    const QDomElement whatsNew = root.firstChildElement(QStringLiteral("upd:WhatsNew"));
    // fromBase64 skips what is not Base64 and fromUtf8 replaces what is not
    // UTF-8: a damaged description still shows.
    m_strDescription = QString::fromUtf8(QByteArray::fromBase64(childText(whatsNew, "upd:Description").toLatin1()));
    if (code.isEmpty()) {
        emit updateInfo(UPDATE_NOT_FOUND, registerSetting()->updateName());
        return;
    }
    if (!IsNewerVersion(registerSetting()->version(), m_strNewVersion)) {
        emit updateInfo(UPDATE_NEWEST, m_strNewVersion);
        return;
    }
    takeDownloadLink(downloadUrl, code);
    emit updateInfo(UPDATE_NEWER, m_strDescription);
}

// A link the desktop would hand to a file manager, a share or another
// program is not offered: the answer may come from a mirror or a proxy the
// user never chose to trust.
void CUpdater::takeDownloadLink(const QString& link, const QString& code)
{
    const QUrl url(link + QStringLiteral("?product=") + code);
    if (IsOfferedUpdateLink(url, QUrl(m_strUrl))) {
        m_urlDownload = url;
        return;
    }
    m_urlDownload = QUrl();
    WriteUILog(QStringLiteral("Update link refused, not a web page: %1").arg(ServerTextForLog(link)));
}
