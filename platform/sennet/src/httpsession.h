// Blocking HTTP for threads without a running event loop: one session per
// call, on the calling thread, with its own network manager and local event
// loop. Every request waits for its service's limiter, has a time limit,
// follows a few redirects, is sent once more after a busy answer (503, 429)
// and can be aborted through the handle's StopGate.
#pragma once

#include "services.h"

#include <QByteArray>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkReply;
class QNetworkRequest;

namespace sennet {

class StopGate;

enum FetchResult {
    FetchOk = 0,
    FetchFailed = -1,   // network error, bad status, oversized or refused redirect
    FetchStopped = -2,
    FetchTimedOut = -3,
    FetchNotFound = -4  // HTTP 404
};

struct HttpAnswer {
    int status = 0;
    QByteArray body;
    QString error; // why, for the log, when not FetchOk
    QByteArray retryAfter; // the Retry-After header of a failed answer
};

class HttpSession : public QObject
{
    Q_OBJECT

public:
    explicit HttpSession(StopGate& gate);
    ~HttpSession() override;

    // False when the handle was stopped before the call, or is busy.
    bool isAttached() const { return m_attached; }
    int get(Service service, const QUrl& url, qint64 maxBytes, HttpAnswer* answer);
    int postForm(Service service, const QUrl& url, const QByteArray& form, qint64 maxBytes,
                 HttpAnswer* answer);
    // Runs on the session's thread (posted by StopGate::stop).
    void abort();

private:
    int fetch(Service service, const QUrl& url, bool post, const QByteArray& body, qint64 maxBytes,
              HttpAnswer* answer);
    // One request and its redirects, followed with GET.
    int fetchOnce(Service service, QUrl url, bool post, const QByteArray& body, qint64 maxBytes,
                  HttpAnswer* answer);
    bool waitTurn(Service service);
    // False when aborted first.
    bool sleepUntil(qint64 monotonicMs);
    int exchange(const QUrl& url, bool post, const QByteArray& body, qint64 maxBytes,
                 qint64 deadlineMs, HttpAnswer* answer, QUrl* redirect);
    int finishExchange(QNetworkReply* reply, qint64 maxBytes, HttpAnswer* answer, QUrl* redirect);
    QNetworkRequest makeRequest(const QUrl& url, bool form) const;
    void onTimer();

    StopGate& m_gate;
    bool m_attached = false;
    bool m_aborted = false;
    bool m_timedOut = false;
    bool m_tooLarge = false;
    QNetworkReply* m_reply = nullptr;
    QNetworkAccessManager m_nam;
    QEventLoop m_loop;
    QTimer m_timer;
};

} // namespace sennet
