// A small HTTP server on 127.0.0.1 for the client tests: answers each path
// with a canned answer (or never), records every request it saw, and can act
// as an HTTP proxy that insists on Basic credentials.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QString>
#include <QThread>
#include <QUrlQuery>

#include <functional>
#include <memory>
#include <vector>

struct FakeAnswer {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    QList<QPair<QByteArray, QByteArray>> headers;
    bool hang = false; // keep the connection open without answering
    // A Retry-After header naming, as an HTTP date, this many seconds after
    // the answer is sent; none when negative.
    int retryAfterDateSeconds = -1;
    // Of the body only this many bytes are sent before the connection
    // closes, under the whole body's Content-Length; all when negative.
    int sentBytes = -1;
    // Answers the first requests to the path get, one each, before this one.
    std::vector<FakeAnswer> earlier;

    static FakeAnswer json(const QByteArray& body, int status = 200);
    static FakeAnswer redirect(int status, const QByteArray& location);
    static FakeAnswer image(const QByteArray& bytes);
    static FakeAnswer never();
    // A busy answer (503, 429) with the service's error text and a
    // Retry-After header unless retryAfter is empty.
    static FakeAnswer busy(int status, const QByteArray& retryAfter, const QByteArray& body = QByteArray());
    // This answer, after the given ones.
    FakeAnswer after(const std::vector<FakeAnswer>& first) const;
};

struct SeenRequest {
    QByteArray method;
    QByteArray target; // as on the request line: absolute when sent to a proxy
    QString path;      // decoded
    QUrlQuery query;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    qint64 atMs = 0; // arrival, on a monotonic clock in milliseconds

    // A form body field, '+' read as a space.
    QString formValue(const QString& name) const;
};

class FakeServer;

class FakeService
{
public:
    FakeService();
    ~FakeService();

    quint16 port() const { return m_port; }
    QByteArray baseUrl() const;
    void answer(const QString& path, const FakeAnswer& answer);
    // Answers path by what responder makes of each request; it runs on the
    // server's thread under the service's lock, so it must not call back.
    using Responder = std::function<FakeAnswer(const SeenRequest&)>;
    void answerWith(const QString& path, const Responder& responder);
    // Answers 407 until a request carries these Basic credentials.
    void requireProxyAuth(const QByteArray& userColonPassword);
    QList<SeenRequest> requests() const;
    QList<SeenRequest> requestsTo(const QString& path) const;
    // Milliseconds from the first to the second request to path; -1 with
    // fewer.
    qint64 gapBetweenFirstTwo(const QString& path) const;
    // Forgets answers, requests and the proxy requirement.
    void reset();

private:
    friend class FakeServer;
    struct Shared {
        mutable QMutex mutex;
        QHash<QString, FakeAnswer> answers;
        QHash<QString, Responder> responders;
        QList<SeenRequest> seen;
        QByteArray proxyCredentials;
        QElapsedTimer clock;
    };
    Shared m_shared;
    QThread m_thread;
    FakeServer* m_server = nullptr;
    quint16 m_port = 0;
};
