#include "fakeservice.h"

#include <QDateTime>
#include <QLocale>
#include <QMetaObject>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace {

QByteArray reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 307: return "Temporary Redirect";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 429: return "Too Many Requests";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

QByteArray serialise(const FakeAnswer& answer)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + reason(answer.status) + "\r\n";
    out += "Content-Type: " + answer.contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    out += "Connection: close\r\n";
    for (const auto& header : answer.headers)
        out += header.first + ": " + header.second + "\r\n";
    if (answer.retryAfterDateSeconds >= 0)
        out += "Retry-After: "
               + QLocale::c().toString(QDateTime::currentDateTimeUtc().addSecs(answer.retryAfterDateSeconds),
                                       QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1()
               + "\r\n";
    return out + "\r\n" + (answer.sentBytes < 0 ? answer.body : answer.body.left(answer.sentBytes));
}

} // namespace

FakeAnswer FakeAnswer::json(const QByteArray& body, int status)
{
    FakeAnswer a;
    a.status = status;
    a.body = body;
    return a;
}

FakeAnswer FakeAnswer::redirect(int status, const QByteArray& location)
{
    FakeAnswer a;
    a.status = status;
    a.contentType = "text/plain";
    a.headers.append(qMakePair(QByteArray("Location"), location));
    return a;
}

FakeAnswer FakeAnswer::image(const QByteArray& bytes)
{
    FakeAnswer a;
    a.body = bytes;
    a.contentType = "image/jpeg";
    return a;
}

FakeAnswer FakeAnswer::busy(int status, const QByteArray& retryAfter, const QByteArray& body)
{
    FakeAnswer a = json(body, status);
    if (!retryAfter.isEmpty())
        a.headers.append(qMakePair(QByteArray("Retry-After"), retryAfter));
    return a;
}

FakeAnswer FakeAnswer::after(const std::vector<FakeAnswer>& first) const
{
    FakeAnswer a = *this;
    a.earlier = first;
    return a;
}

FakeAnswer FakeAnswer::never()
{
    FakeAnswer a;
    a.hang = true;
    return a;
}

QString SeenRequest::formValue(const QString& name) const
{
    QByteArray form = body;
    form.replace('+', "%20");
    return QUrlQuery(QString::fromLatin1(form)).queryItemValue(name, QUrl::FullyDecoded);
}

// Lives on the service's own thread, so a client blocking the test thread
// still gets its answers.
class FakeServer : public QObject
{
public:
    // The listening server is a child so that it moves to the service's
    // thread with this object.
    explicit FakeServer(FakeService::Shared& shared) : m_shared(shared), m_server(this)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &FakeServer::accept);
    }

    quint16 listen()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        return m_server.serverPort();
    }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        SeenRequest request = parseHead(buffer.left(end));
        request.atMs = m_shared.clock.elapsed();
        const int length = request.headers.value("content-length").toInt();
        if (buffer.size() < end + 4 + length)
            return;
        request.body = buffer.mid(end + 4, length);
        m_buffers.remove(socket);
        respond(socket, request);
    }

    static SeenRequest parseHead(const QByteArray& head)
    {
        SeenRequest request;
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        const QUrl url = request.target.startsWith('/') ? QUrl::fromEncoded("http://fake" + request.target)
                                                        : QUrl::fromEncoded(request.target);
        request.path = url.path();
        request.query = QUrlQuery(url);
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        return request;
    }

    void respond(QTcpSocket* socket, const SeenRequest& request)
    {
        FakeAnswer answer;
        {
            QMutexLocker lock(&m_shared.mutex);
            m_shared.seen.append(request);
            int earlierToPath = -1;
            for (const SeenRequest& seen : m_shared.seen)
                earlierToPath += seen.path == request.path ? 1 : 0;
            const QByteArray wanted = "Basic " + m_shared.proxyCredentials.toBase64();
            if (!m_shared.proxyCredentials.isEmpty() && request.headers.value("proxy-authorization") != wanted) {
                answer.status = 407;
                answer.contentType = "text/plain";
                answer.headers.append(qMakePair(QByteArray("Proxy-Authenticate"), QByteArray("Basic realm=\"fake\"")));
            } else if (m_shared.responders.contains(request.path)) {
                answer = m_shared.responders.value(request.path)(request);
            } else if (m_shared.answers.contains(request.path)) {
                answer = m_shared.answers.value(request.path);
            } else {
                answer.status = 404;
                answer.contentType = "text/plain";
                answer.body = "no such path";
            }
            if (earlierToPath < int(answer.earlier.size())) {
                const FakeAnswer first = answer.earlier[size_t(earlierToPath)];
                answer = first;
            }
        }
        if (answer.hang)
            return;
        socket->write(serialise(answer));
        socket->disconnectFromHost();
    }

    FakeService::Shared& m_shared;
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

FakeService::FakeService()
{
    m_shared.clock.start();
    m_thread.start();
    m_server = new FakeServer(m_shared);
    m_server->moveToThread(&m_thread);
    QMetaObject::invokeMethod(m_server, [this] { m_port = m_server->listen(); }, Qt::BlockingQueuedConnection);
}

FakeService::~FakeService()
{
    QMetaObject::invokeMethod(m_server, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

QByteArray FakeService::baseUrl() const
{
    return "http://127.0.0.1:" + QByteArray::number(m_port);
}

void FakeService::answer(const QString& path, const FakeAnswer& answer)
{
    QMutexLocker lock(&m_shared.mutex);
    m_shared.answers.insert(path, answer);
}

void FakeService::answerWith(const QString& path, const Responder& responder)
{
    QMutexLocker lock(&m_shared.mutex);
    m_shared.responders.insert(path, responder);
}

void FakeService::requireProxyAuth(const QByteArray& userColonPassword)
{
    QMutexLocker lock(&m_shared.mutex);
    m_shared.proxyCredentials = userColonPassword;
}

QList<SeenRequest> FakeService::requests() const
{
    QMutexLocker lock(&m_shared.mutex);
    return m_shared.seen;
}

QList<SeenRequest> FakeService::requestsTo(const QString& path) const
{
    QList<SeenRequest> matching;
    for (const SeenRequest& request : requests())
        if (request.path == path)
            matching.append(request);
    return matching;
}

qint64 FakeService::gapBetweenFirstTwo(const QString& path) const
{
    const QList<SeenRequest> seen = requestsTo(path);
    return seen.size() < 2 ? -1 : seen[1].atMs - seen[0].atMs;
}

void FakeService::reset()
{
    QMutexLocker lock(&m_shared.mutex);
    m_shared.answers.clear();
    m_shared.responders.clear();
    m_shared.seen.clear();
    m_shared.proxyCredentials.clear();
}
