#include "httpsession.h"

#include "layerstate.h"
#include "parserlog.h"
#include "platformbase.h"
#include "ratelimiter.h"
#include "stopgate.h"

#include <QDateTime>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>
#include <chrono>
#include <memory>

namespace sennet {

namespace {

// The cover archive answers with a chain of redirects to the image host
// (three hops today); a few more leave room without allowing loops.
constexpr int kMaxRedirects = 5;
constexpr int kFetchRedirect = 1;

qint64 monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool isBusy(int status)
{
    return status == 503 || status == 429;
}

constexpr qint64 kDefaultRetryPauseMs = 1000;
// A longer pause would hold a download slot for it; such a service is not
// asked again, and the request fails as any other.
constexpr qint64 kMaxRetryPauseMs = 10000;

// An HTTP date ends in "GMT", which Qt's RFC 2822 reading does not take.
QDateTime httpDate(const QByteArray& text)
{
    QString date = QString::fromLatin1(text);
    if (date.endsWith(QLatin1String(" GMT")))
        date = date.left(date.size() - 4) + QLatin1String(" +0000");
    return QDateTime::fromString(date, Qt::RFC2822Date);
}

// The pause a busy answer's Retry-After names, in seconds or as an HTTP
// date; one second when it names none that can be read; -1 when it asks
// for more than we wait.
qint64 retryPauseMs(const QByteArray& retryAfter, const QDateTime& nowUtc)
{
    const QByteArray text = retryAfter.trimmed();
    qint64 pauseMs = kDefaultRetryPauseMs;
    if (!text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool fits = false;
        const qint64 seconds = text.toLongLong(&fits);
        pauseMs = fits && seconds <= kMaxRetryPauseMs / 1000 ? seconds * 1000 : kMaxRetryPauseMs + 1;
    } else {
        const QDateTime until = httpDate(text);
        if (until.isValid())
            pauseMs = qMax<qint64>(0, nowUtc.msecsTo(until));
    }
    return pauseMs > kMaxRetryPauseMs ? -1 : pauseMs;
}

} // namespace

HttpSession::HttpSession(StopGate& gate)
    : m_gate(gate)
{
    m_nam.setProxy(currentProxy());
    // Redirects are followed here rather than by Qt: the count is ours, and
    // the archive's image host may be reached over plain HTTP, which Qt's
    // safe policy refuses.
    m_nam.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    m_timer.setSingleShot(true);
    // A coarse timer may fire a few milliseconds early, which would send a
    // request before its booked turn.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &HttpSession::onTimer);
    m_attached = m_gate.attach(this);
}

HttpSession::~HttpSession()
{
    m_gate.detach(this);
}

int HttpSession::get(Service service, const QUrl& url, qint64 maxBytes, HttpAnswer* answer)
{
    return fetch(service, url, false, QByteArray(), maxBytes, answer);
}

int HttpSession::postForm(Service service, const QUrl& url, const QByteArray& form,
                          qint64 maxBytes, HttpAnswer* answer)
{
    return fetch(service, url, true, form, maxBytes, answer);
}

void HttpSession::abort()
{
    m_aborted = true;
    if (m_reply)
        m_reply->abort();
    m_loop.quit();
}

int HttpSession::fetch(Service service, const QUrl& url, bool post, const QByteArray& body,
                       qint64 maxBytes, HttpAnswer* answer)
{
    const int rc = fetchOnce(service, url, post, body, maxBytes, answer);
    if (rc != FetchFailed || !isBusy(answer->status))
        return rc;
    const qint64 pauseMs = retryPauseMs(answer->retryAfter, QDateTime::currentDateTimeUtc());
    const QString busy = QStringLiteral("%1%2 answered HTTP %3").arg(url.host(), url.path()).arg(answer->status);
    if (pauseMs < 0) {
        logLine(QStringLiteral("%1 and asks for a pause of more than %2 s (Retry-After: %3): not asked again")
                    .arg(busy).arg(kMaxRetryPauseMs / 1000).arg(ServerTextForLog(QString::fromLatin1(answer->retryAfter))));
        return rc;
    }
    logLine(QStringLiteral("%1: asked again in %2 ms").arg(busy).arg(pauseMs));
    if (!sleepUntil(monotonicMs() + pauseMs)) {
        *answer = HttpAnswer();
        answer->error = QStringLiteral("stopped");
        return FetchStopped;
    }
    return fetchOnce(service, url, post, body, maxBytes, answer);
}

int HttpSession::fetchOnce(Service service, QUrl url, bool post, const QByteArray& body,
                           qint64 maxBytes, HttpAnswer* answer)
{
    *answer = HttpAnswer();
    if (!m_attached || m_aborted || m_gate.isStopped() || !waitTurn(service)) {
        answer->error = QStringLiteral("stopped");
        return FetchStopped;
    }
    const qint64 deadlineMs = monotonicMs() + requestTimeoutMs();
    for (int hops = 0;; ++hops) {
        QUrl next;
        const int rc = exchange(url, post, body, maxBytes, deadlineMs, answer, &next);
        if (rc != kFetchRedirect)
            return rc;
        if (hops == kMaxRedirects) {
            answer->error = QStringLiteral("more than %1 redirects").arg(kMaxRedirects);
            return FetchFailed;
        }
        url = next;
        post = false;
    }
}

bool HttpSession::waitTurn(Service service)
{
    RateLimiter* limiter = limiterFor(service);
    return !limiter || sleepUntil(limiter->reserve(monotonicMs()));
}

bool HttpSession::sleepUntil(qint64 untilMs)
{
    // The local loop also runs the abort a stop posts here.
    for (qint64 waitMs = untilMs - monotonicMs(); waitMs > 0 && !m_aborted; waitMs = untilMs - monotonicMs()) {
        m_timer.start(static_cast<int>(waitMs));
        m_loop.exec();
        m_timer.stop();
    }
    return !m_aborted;
}

int HttpSession::exchange(const QUrl& url, bool post, const QByteArray& body, qint64 maxBytes,
                          qint64 deadlineMs, HttpAnswer* answer, QUrl* redirect)
{
    const qint64 leftMs = deadlineMs - monotonicMs();
    if (leftMs <= 0) {
        answer->error = QStringLiteral("timed out");
        return FetchTimedOut;
    }
    m_timedOut = false;
    m_tooLarge = false;
    const QNetworkRequest request = makeRequest(url, post);
    std::unique_ptr<QNetworkReply> reply(post ? m_nam.post(request, body) : m_nam.get(request));
    m_reply = reply.get();
    connect(m_reply, &QNetworkReply::finished, &m_loop, &QEventLoop::quit);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this, maxBytes](qint64 received, qint64 total) {
        if ((received > maxBytes || total > maxBytes) && m_reply) {
            m_tooLarge = true;
            m_reply->abort();
        }
    });
    m_timer.start(static_cast<int>(leftMs));
    if (!m_reply->isFinished() && !m_aborted)
        m_loop.exec();
    m_timer.stop();
    m_reply = nullptr;
    return finishExchange(reply.get(), maxBytes, answer, redirect);
}

int HttpSession::finishExchange(QNetworkReply* reply, qint64 maxBytes, HttpAnswer* answer,
                                QUrl* redirect)
{
    answer->status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_aborted) {
        answer->error = QStringLiteral("stopped");
        return FetchStopped;
    }
    if (m_timedOut) {
        answer->error = QStringLiteral("timed out after %1 ms").arg(requestTimeoutMs());
        return FetchTimedOut;
    }
    if (m_tooLarge) {
        answer->error = QStringLiteral("answer larger than %1 bytes").arg(maxBytes);
        return FetchFailed;
    }
    if (isRedirect(answer->status) && reply->hasRawHeader("Location")) {
        *redirect = reply->url().resolved(QUrl::fromEncoded(reply->rawHeader("Location")));
        if (IsWebLink(*redirect))
            return kFetchRedirect;
        answer->error = QStringLiteral("redirect to unsupported address %1").arg(redirect->toString());
        return FetchFailed;
    }
    answer->body = reply->readAll();
    if (reply->error() != QNetworkReply::NoError || answer->status < 200 || answer->status > 299) {
        answer->retryAfter = reply->rawHeader("Retry-After");
        // A success whose body broke off is told by the transfer's error.
        const bool success = answer->status >= 200 && answer->status <= 299;
        answer->error = answer->status && !success ? QStringLiteral("HTTP %1").arg(answer->status)
                                                   : reply->errorString();
        return answer->status == 404 ? FetchNotFound : FetchFailed;
    }
    return FetchOk;
}

QNetworkRequest HttpSession::makeRequest(const QUrl& url, bool form) const
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    if (form)
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    return request;
}

void HttpSession::onTimer()
{
    // One timer serves both waits: the limiter's pause and the request's
    // time limit.
    if (m_reply) {
        m_timedOut = true;
        m_reply->abort();
    } else {
        m_loop.quit();
    }
}

} // namespace sennet
