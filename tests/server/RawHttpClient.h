#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>

// Sends bytes exactly as given on a connection of its own and collects what
// comes back while the event loop runs, so that a test can send what no
// well-behaved HTTP client would.
class RawHttpClient {
public:
    RawHttpClient(quint16 port, const QByteArray& request)
    {
        QObject::connect(&m_socket, &QTcpSocket::connected, [this, request] { m_socket.write(request); });
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] { m_data += m_socket.readAll(); });
        QObject::connect(&m_socket, &QTcpSocket::disconnected, [this] { m_closed = true; });
        QObject::connect(&m_socket, &QTcpSocket::errorOccurred, [this] { m_closed = true; });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }

    void send(const QByteArray& more) { m_socket.write(more); }
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    bool closed() const { return m_closed; }

    // A whole response has arrived: its head and as many body bytes as it announced.
    bool answered() const
    {
        const qsizetype end = m_data.indexOf("\r\n\r\n");
        return end >= 0 && m_data.size() >= end + 4 + contentLength();
    }

    int status() const { return m_data.mid(9, 3).toInt(); }
    QByteArray head() const { return m_data.left(m_data.indexOf("\r\n\r\n")); }
    QByteArray body() const { return m_data.mid(m_data.indexOf("\r\n\r\n") + 4, contentLength()); }

private:
    qsizetype contentLength() const
    {
        for (const QByteArray& line : head().split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                return line.mid(15).trimmed().toLongLong();
        }
        return 0;
    }

    QTcpSocket m_socket;
    QByteArray m_data;
    bool m_closed = false;
};

// A POST of body to the service's endpoint, with the headers the client sends.
// A null action leaves the SOAPAction header out.
inline QByteArray soapPost(const QByteArray& body, const QByteArray& contentType = "text/xml",
                           const QByteArray& action = "\"urn:Comics#clservice#ComicByISBN\"")
{
    QByteArray head = "POST /soaptest/server.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + contentType + "\r\n";
    if (!action.isNull())
        head += "SOAPAction: " + action + "\r\n";
    return head + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}
