#include "SoapTestServer.h"

#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

QByteArray RecordedRequest::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

int RecordedRequest::headerCount(const QByteArray& name) const
{
    int count = 0;
    for (const auto& h : headers)
        count += h.first.compare(name, Qt::CaseInsensitive) == 0 ? 1 : 0;
    return count;
}

QByteArray soapEnvelope(const QByteArray& bodyContent)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
           "<SOAP-ENV:Body>"
        + bodyContent + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

SoapTestServer::SoapTestServer(const QSslConfiguration& tls)
{
    if (tls.isNull()) {
        m_server = std::make_unique<QTcpServer>();
    } else {
        auto server = std::make_unique<QSslServer>();
        server->setSslConfiguration(tls);
        m_server = std::move(server);
        m_tls = true;
    }
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &SoapTestServer::accept);
    m_server->listen(QHostAddress::LocalHost);
}

// The sockets die with the listening server and report to the tables below, so it goes first.
SoapTestServer::~SoapTestServer()
{
    m_server.reset();
}

quint16 SoapTestServer::port() const
{
    return m_server->serverPort();
}

QString SoapTestServer::url(const QString& path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3").arg(m_tls ? "https" : "http").arg(port()).arg(path);
}

void SoapTestServer::enqueue(const ScriptedResponse& response)
{
    m_script.append(response);
}

void SoapTestServer::enqueue(const QByteArray& xmlBody)
{
    ScriptedResponse response;
    response.body = xmlBody;
    m_script.append(response);
}

void SoapTestServer::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        m_ids.insert(socket, ++connections);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            ++disconnects;
            socket->deleteLater();
        });
        connect(socket, &QObject::destroyed, this, [this, socket] {
            m_pending.remove(socket);
            m_ids.remove(socket);
        });
        readFrom(socket);
    }
}

void SoapTestServer::readFrom(QTcpSocket* socket)
{
    QByteArray& buffer = m_pending[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        RecordedRequest request;
        request.connection = m_ids.value(socket);
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        request.requestLine = lines.value(0).trimmed();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.append({lines[i].left(colon), lines[i].mid(colon + 1).trimmed()});
        }
        const qsizetype length = request.header("Content-Length").toLongLong();
        if (buffer.size() < headerEnd + 4 + length)
            return;
        request.body = buffer.mid(headerEnd + 4, length);
        buffer.remove(0, headerEnd + 4 + length);
        requests.append(request);

        ScriptedResponse response;
        if (m_script.isEmpty())
            response.body = soapEnvelope({});
        else
            response = m_script.takeFirst();
        deliver(socket, response);
    }
}

void SoapTestServer::deliver(QTcpSocket* socket, const ScriptedResponse& response)
{
    using Delivery = ScriptedResponse::Delivery;
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason + "\r\n";
    for (const auto& [key, value] : response.headers)
        out += key + ": " + value + "\r\n";
    const QByteArray half = response.body.left(response.body.size() / 2);
    switch (response.delivery) {
    case Delivery::ChunkedCutOff:
    case Delivery::ChunkedShort:
        out += "Transfer-Encoding: chunked\r\nConnection: keep-alive\r\n\r\n";
        out += QByteArray::number(half.size(), 16) + "\r\n" + half + "\r\n";
        if (response.delivery == Delivery::ChunkedShort) {
            socket->write(out + "0\r\n\r\n");
            return;
        }
        socket->write(out);
        socket->disconnectFromHost();
        return;
    case Delivery::CutOff:
        out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\nConnection: keep-alive\r\n\r\n";
        socket->write(out + half);
        socket->disconnectFromHost();
        return;
    case Delivery::Whole:
    case Delivery::Trickle:
        break;
    }
    out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\nConnection: keep-alive\r\n\r\n";
    out += response.body;
    if (response.delivery == Delivery::Whole) {
        socket->write(out);
        return;
    }
    // Piece after piece from a timer of the server's own: the client waits in
    // its call meanwhile, and its event loop serves this server.
    auto* timer = new QTimer(socket);
    auto rest = std::make_shared<QByteArray>(out);
    connect(timer, &QTimer::timeout, socket, [socket, timer, rest, piece = response.pieceBytes] {
        socket->write(rest->left(piece));
        rest->remove(0, piece);
        if (rest->isEmpty())
            timer->deleteLater();
    });
    timer->start(response.pauseMs);
}
