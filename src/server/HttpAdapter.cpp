#include "server/HttpAdapter.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMetaEnum>
#include <QTcpServer>

namespace server {

namespace {

QString methodName(QHttpServerRequest::Method method)
{
    const char* key = QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(method));
    return key ? QString::fromLatin1(key).toUpper() : QStringLiteral("?");
}

HttpRequest readRequest(const QHttpServerRequest& request)
{
    return {methodName(request.method()), request.url().path(), request.body(),
            [&request](const QByteArray& name) { return request.value(name); }};
}

} // namespace

HttpAdapter::HttpAdapter(Handlers handlers, QObject* parent)
    : QAbstractHttpServer(parent), m_handlers(std::move(handlers))
{
}

void HttpAdapter::serve(QTcpServer* listening)
{
    bind(listening);
}

bool HttpAdapter::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    if (m_handlers.arrived)
        m_handlers.arrived(socket);
    const HttpReply reply = m_handlers.answer(readRequest(request));
    // Written piece by piece, as write() does, since its header list is an
    // initializer list. The length is the body's, also where none is sent.
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
    for (const auto& [name, value] : reply.headers)
        responder.writeHeader(name, value);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    responder.writeBody(reply.body);
    return true;
}

void HttpAdapter::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    // handleRequest answers every request; this is only here to satisfy the base.
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

} // namespace server
