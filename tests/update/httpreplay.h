// A tiny HTTP/1.1 server on 127.0.0.1 that records each request and
// answers every one with the same scripted reply, whole or in one of the
// shapes a broken or hostile server answers in.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

class HttpReplay : public QObject
{
    Q_OBJECT
public:
    enum class Shape {
        Whole,    // the reply, then the connection closes
        Silent,   // the request is read and never answered
        Stalled,  // the head and the start of the body, then nothing
        Endless,  // a body without length that does not end (see feed)
    };
    struct Reply {
        QByteArray status = "200 OK";
        QByteArray body;
        QByteArray extraHeaders;  // each line ending in "\r\n"
        Shape shape = Shape::Whole;
    };

    QList<QByteArray> requestLines;  // "GET /path?query HTTP/1.1"
    Reply reply;

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }
    QByteArray base() const { return "http://127.0.0.1:" + QByteArray::number(port()); }

    // Connections the client has not closed yet.
    int openConnections() const
    {
        int open = 0;
        for (const QPointer<QTcpSocket>& socket : m_sockets)
            open += socket && socket->state() == QAbstractSocket::ConnectedState;
        return open;
    }

    HttpReplay()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                m_sockets << socket;
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

private:
    void serve(QTcpSocket* socket)
    {
        QByteArray& seen = m_pending[socket];
        seen += socket->readAll();
        if (!seen.contains("\r\n\r\n"))
            return;
        requestLines << seen.left(seen.indexOf("\r\n"));
        m_pending.remove(socket);
        switch (reply.shape) {
        case Shape::Whole:
            socket->write(head(reply.body.size()) + reply.body);
            socket->disconnectFromHost();
            break;
        case Shape::Silent:
            break;
        case Shape::Stalled:
            socket->write(head(reply.body.size() + 1000) + reply.body);
            break;
        case Shape::Endless:
            socket->write(head(-1));
            m_endlessWritten = 0;
            connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { feed(socket); });
            feed(socket);
            break;
        }
    }

    QByteArray head(qint64 length) const
    {
        const QByteArray declared = length < 0 ? QByteArray() : "Content-Length: " + QByteArray::number(length) + "\r\n";
        return "HTTP/1.1 " + reply.status + "\r\nContent-Type: text/xml\r\n" + declared + "Connection: close\r\n"
               + reply.extraHeaders + "\r\n";
    }

    // Keeps some data queued, never all of it at once, for as long as the
    // client reads. Past 64 MiB, far beyond any limit, it only stalls: a
    // client that reads without end fails its test by the hang guard
    // instead of taking the machine's memory.
    void feed(QTcpSocket* socket)
    {
        static const QByteArray piece(64 * 1024, 'x');
        constexpr qint64 kEnough = 64 * 1024 * 1024;
        while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 2 * piece.size()
               && m_endlessWritten < kEnough) {
            socket->write(piece);
            m_endlessWritten += piece.size();
        }
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QList<QPointer<QTcpSocket>> m_sockets;
    qint64 m_endlessWritten = 0;
};
