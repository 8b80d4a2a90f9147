#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSslConfiguration>
#include <QString>
#include <memory>

class QTcpServer;
class QTcpSocket;

// One request as it arrived, byte for byte.
struct RecordedRequest {
    int connection = 0; // 1 for the first TCP connection accepted, and so on
    QByteArray requestLine;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray header(const QByteArray& name) const; // case-insensitive; empty when missing
    int headerCount(const QByteArray& name) const;
};

// What the server answers to the next request.
struct ScriptedResponse {
    int status = 200;
    QByteArray reason = "OK";
    QList<QPair<QByteArray, QByteArray>> headers = {{"Content-Type", "text/xml; charset=utf-8"}};
    QByteArray body;
    // How it goes out: whole, or broken off or slow as a bad line delivers it.
    enum class Delivery {
        Whole,
        CutOff,        // the announced length, half the body, then the connection closes
        ChunkedCutOff, // chunked: the first half as one chunk, then the connection closes
        ChunkedShort,  // chunked: the first half as one chunk, then the last chunk, as a proxy cutting it would
        Trickle,       // whole, but in pieces of pieceBytes with pauseMs between them
    } delivery = Delivery::Whole;
    int pieceBytes = 64;
    int pauseMs = 0;
};

// A small HTTP/1.1 server on 127.0.0.1 for the client tests: keeps
// connections alive, records every request and serves scripted responses in
// order (an empty SOAP body once the script has run out). With a TLS
// configuration it speaks HTTPS.
class SoapTestServer : public QObject {
    Q_OBJECT
public:
    explicit SoapTestServer(const QSslConfiguration& tls = {});
    ~SoapTestServer() override;

    QString url(const QString& path = QStringLiteral("/soaptest/server.php")) const;
    quint16 port() const;

    void enqueue(const ScriptedResponse& response);
    void enqueue(const QByteArray& xmlBody); // 200, text/xml

    QList<RecordedRequest> requests;
    int connections = 0;
    int disconnects = 0; // connections closed by the client

private:
    void accept();
    void readFrom(QTcpSocket* socket);
    void deliver(QTcpSocket* socket, const ScriptedResponse& response);

    std::unique_ptr<QTcpServer> m_server;
    bool m_tls = false;
    QList<ScriptedResponse> m_script;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QHash<QTcpSocket*, int> m_ids;
};

// SOAP 1.1 envelope around the given body content.
QByteArray soapEnvelope(const QByteArray& bodyContent);
