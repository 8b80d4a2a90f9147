#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>

class QTcpServer;
class QTcpSocket;

namespace server {

// A request as the service reads it, whatever version of Qt parsed it.
struct HttpRequest {
    QString method; // upper case: "POST", "HEAD", …
    QString path;
    QByteArray body;
    // The value of a header (any case) as the HTTP layer reads it; null when
    // the request has none. Valid while the request is answered.
    std::function<QByteArray(const QByteArray& name)> header;
};

// The answer to one request; its length goes with it.
struct HttpReply {
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
};

// The one part of the server bound to Qt HTTP Server's interface, a technical
// preview in Qt 6.4 that changed afterwards. The rest of the server sees only
// HttpRequest, HttpReply and the socket a request came on.
//
// For a later Qt:
//  - from 6.5 on, handleRequest() and missingHandler() take a
//    QHttpServerResponder (by reference, and by rvalue in missingHandler)
//    instead of the socket: write the reply with it, and find the request's
//    socket among the listening server's children by
//    QHttpServerRequest::remotePort() (new in 6.5) for arrived();
//  - from 6.8 on, bind() returns whether it took the server (it must already
//    listen, as it does here): fail serve() when it returns false;
class HttpAdapter : public QAbstractHttpServer {
public:
    struct Handlers {
        // Called first for each whole request, with the connection it came on.
        std::function<void(QTcpSocket* socket)> arrived;
        std::function<HttpReply(const HttpRequest& request)> answer;
    };

    explicit HttpAdapter(Handlers handlers, QObject* parent = nullptr);

    // Hands the connections of a listening server to the HTTP layer, which
    // takes ownership of it.
    void serve(QTcpServer* listening);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    Handlers m_handlers;
};

} // namespace server
