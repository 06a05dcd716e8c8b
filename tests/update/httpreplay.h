// A tiny HTTP/1.1 server on 127.0.0.1 that records each request and
// answers every one with the same scripted reply.
#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

class HttpReplay : public QObject
{
    Q_OBJECT
public:
    struct Reply {
        QByteArray status = "200 OK";
        QByteArray body;
        QByteArray extraHeaders;  // each line ending in "\r\n"
    };

    QList<QByteArray> requestLines;  // "GET /path?query HTTP/1.1"
    Reply reply;

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }
    QByteArray base() const { return "http://127.0.0.1:" + QByteArray::number(port()); }

    HttpReplay()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
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
        socket->write("HTTP/1.1 " + reply.status + "\r\nContent-Type: text/xml\r\nContent-Length: "
                      + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n" + reply.extraHeaders
                      + "\r\n" + reply.body);
        socket->disconnectFromHost();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
};
