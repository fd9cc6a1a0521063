// A one-answer HTTP server on 127.0.0.1 in the test process, standing in
// for the site that publishes the version file.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace varnolt::test {

// Answers every request on 127.0.0.1 with one canned response, once the
// request's head is in. `close` false keeps the connection open after it
// (an answer without a length that never ends); an empty response never
// answers at all.
class CVersionServer {
public:
    explicit CVersionServer(QByteArray response, bool close = true)
        : m_response(std::move(response)) {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this, close] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, close] {
                    m_request += socket->readAll();
                    if (!m_request.contains("\r\n\r\n") || m_response.isEmpty()) {
                        return;
                    }
                    socket->write(m_response);
                    if (close) {
                        socket->disconnectFromHost();
                    }
                });
            }
        });
    }

    QString Address() const {
        return QStringLiteral("http://127.0.0.1:%1/en/download/varnolt_ver.txt")
            .arg(m_server.serverPort());
    }
    const QByteArray& Request() const { return m_request; }

private:
    QTcpServer m_server;
    QByteArray m_response;
    QByteArray m_request;
};

// A whole answer with that status line and body, the connection closed after it.
inline QByteArray Http(const QByteArray& status, const QByteArray& body) {
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace varnolt::test
