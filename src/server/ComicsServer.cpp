#include "server/ComicsServer.h"

#include "server/HttpAdapter.h"
#include "server/SoapRequest.h"
#include "service/ComicsInterface.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace server {
namespace {

const QByteArray kXmlType = QByteArrayLiteral("text/xml; charset=utf-8");

QString endpointPath()
{
    return QString::fromLatin1(service::kComicsEndpointPath);
}

// A whole response written past the HTTP layer, for connections that never
// bring a request it could answer.
QByteArray rawResponse(int status, const QByteArray& reason, const QString& faultString)
{
    const QByteArray body = service::buildFault(QStringLiteral("Client"), faultString);
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: " + kXmlType
        + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// Watches one connection on behalf of the server: counts the bytes of the
// request under way, so that an oversized one is stopped before it is
// buffered whole, and closes the connection when no request completes in time.
class SocketWatch : public QObject {
    Q_OBJECT
public:
    SocketWatch(QTcpSocket* socket, const ServerLimits& limits)
        : QObject(socket), m_socket(socket), m_maxBytes(limits.maxRequestBytes)
    {
        // Qt reads no more than this ahead, so a flood costs little memory
        // before it is noticed.
        socket->setReadBufferSize(2 * m_maxBytes);
        m_idle.setSingleShot(true);
        m_idle.setInterval(limits.idleTimeoutMs);
        connect(&m_idle, &QTimer::timeout, socket, &QAbstractSocket::abort);
        m_idle.start();
        // Connected before the HTTP layer sees the socket, so it runs first.
        connect(socket, &QIODevice::readyRead, this, &SocketWatch::measure);
    }

    void requestDone()
    {
        m_pending = 0;
        m_idle.start();
    }

private:
    void measure()
    {
        // The HTTP layer keeps a partial request in a read transaction, and
        // bytes already read inside it no longer count as available.
        const qint64 available = m_socket->bytesAvailable();
        m_pending = m_socket->isTransactionStarted() ? m_pending + available : available;
        if (m_pending > m_maxBytes)
            refuse();
    }

    void refuse()
    {
        // The HTTP layer must not go on collecting this request.
        disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
        if (m_socket->isTransactionStarted())
            m_socket->commitTransaction();
        m_socket->readAll();
        m_socket->write(rawResponse(413, "Payload Too Large",
                                    QStringLiteral("Die Anfrage ist größer als %1 KB und wird abgelehnt")
                                        .arg(m_maxBytes / 1024)));
        // Read on and drop the rest: closing while the client still sends
        // would reset the connection before it has read the answer. The idle
        // timer ends it at the latest.
        connect(m_socket, &QIODevice::readyRead, m_socket, [socket = m_socket] { socket->readAll(); });
    }

    QTcpSocket* m_socket;
    qint64 m_maxBytes;
    qint64 m_pending = 0;
    QTimer m_idle;
};

} // namespace

// Hands new connections to the HTTP layer with a watch on each, or turns
// them away when too many are open.
class GuardedTcpServer : public QTcpServer {
public:
    explicit GuardedTcpServer(const ServerLimits& limits) : m_limits(limits) {}
    int openConnections() const { return m_open; }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        if (m_open >= m_limits.maxConnections) {
            connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
            socket->write(rawResponse(503, "Service Unavailable",
                                      QStringLiteral("Der Comic-Dienst bedient schon %1 Verbindungen; bitte später "
                                                     "noch einmal versuchen")
                                          .arg(m_limits.maxConnections)));
            socket->disconnectFromHost();
            return;
        }
        ++m_open;
        connect(socket, &QObject::destroyed, this, [this] { --m_open; });
        new SocketWatch(socket, m_limits);
        addPendingConnection(socket);
    }

private:
    ServerLimits m_limits;
    int m_open = 0;
};

namespace {

// The media type without its parameters, in lower case.
QString mediaType(const QByteArray& contentType)
{
    return QString::fromLatin1(contentType).section(u';', 0, 0).trimmed().toLower();
}

QString unquoted(QString text)
{
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"'))
        text = text.mid(1, text.size() - 2);
    return text;
}

} // namespace

ComicsServer::ComicsServer(const QString& directory, const ServerLimits& limits, QObject* parent)
    : QObject(parent), m_limits(limits), m_catalogue(directory),
      m_http(new HttpAdapter({[](QTcpSocket* socket) {
                                  if (auto* watch = socket->findChild<SocketWatch*>(QString(),
                                                                                    Qt::FindDirectChildrenOnly))
                                      watch->requestDone();
                              },
                              [this](const HttpRequest& request) { return respond(request); }},
                             this))
{
}

ComicsServer::~ComicsServer() = default;

namespace {
// What keeps the service from its port, and what to do about it.
QString listenFailure(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return QStringLiteral("Ein anderes Programm benutzt den Port schon; wählen Sie mit --port einen anderen");
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("Ports unter 1024 darf nur der Systemverwalter belegen; wählen Sie mit --port einen "
                              "höheren");
    case QAbstractSocket::SocketAddressNotAvailableError:
        return QStringLiteral("Die Adresse gehört nicht zu diesem Rechner; wählen Sie mit --listen eine andere");
    case QAbstractSocket::UnsupportedSocketOperationError:
        return QStringLiteral("Dieser Rechner kennt die Art der Adresse nicht");
    default:
        return QStringLiteral("Das Betriebssystem verweigert den Port");
    }
}
} // namespace

quint16 ComicsServer::start(const QHostAddress& address, quint16 port)
{
    auto tcp = std::make_unique<GuardedTcpServer>(m_limits);
    if (!tcp->listen(address, port))
        throw db::Error(QStringLiteral("Der Comic-Dienst kann nicht an %1, Port %2 lauschen: %3 (%4)")
                            .arg(address.toString(), QString::number(port), listenFailure(tcp->serverError()),
                                 tcp->errorString()));
    const quint16 bound = tcp->serverPort();
    m_tcp = tcp.release();
    m_http->serve(m_tcp); // the HTTP layer owns it from here on

    m_url = QUrl();
    m_url.setScheme(QStringLiteral("http"));
    const bool anyAddress = address == QHostAddress::Any || address == QHostAddress::AnyIPv4
        || address == QHostAddress::AnyIPv6;
    m_url.setHost(anyAddress ? QStringLiteral("127.0.0.1") : address.toString());
    m_url.setPort(bound);
    m_url.setPath(endpointPath());
    return bound;
}

int ComicsServer::openConnections() const
{
    return m_tcp ? m_tcp->openConnections() : 0;
}

QList<quint16> ComicsServer::serverPorts() const
{
    return m_tcp ? QList<quint16>{m_tcp->serverPort()} : QList<quint16>{};
}

HttpReply ComicsServer::respond(const HttpRequest& request)
{
    const Reply reply = answer(request);
    if (request.method == u"HEAD")
        return {reply.status, {{"Allow", "POST"}}, {}}; // a HEAD answer carries no body
    if (reply.status == 405)
        return {reply.status, {{"Content-Type", kXmlType}, {"Allow", "POST"}}, reply.body};
    return {reply.status, {{"Content-Type", kXmlType}}, reply.body};
}

ComicsServer::Reply ComicsServer::answer(const HttpRequest& request)
{
    try {
        if (request.path != endpointPath())
            throw RequestFault(404, QStringLiteral("Client"),
                               QStringLiteral("Unbekannter Pfad „%1“; der Comic-Dienst antwortet unter %2")
                                   .arg(request.path, endpointPath()));
        if (request.method != u"POST")
            throw RequestFault(405, QStringLiteral("Client"),
                               QStringLiteral("Die Methode %1 wird nicht unterstützt; der Comic-Dienst erwartet POST")
                                   .arg(request.method));
        const QString type = mediaType(request.header("Content-Type"));
        // A SOAP 1.2 client sends its own type; it gets past here to learn
        // from the envelope which version is spoken.
        if (type != u"text/xml" && type != u"application/soap+xml")
            throw RequestFault(415, QStringLiteral("Client"),
                               QStringLiteral("Der Inhaltstyp „%1“ wird nicht unterstützt; SOAP erwartet „text/xml“")
                                   .arg(QString::fromLatin1(request.header("Content-Type"))));

        const SoapCall call = decodeRequest(request.body);
        const service::Registration& registration = service::comicsPortRegistration();
        const service::Operation& op = service::comicByIsbnOperation();
        const bool known = call.nameSpace == registration.nameSpace
            && (call.operation == op.name || call.operation == service::loginOperation().name
                || call.operation == service::titleByIsbnOperation().name);
        if (!known)
            throw RequestFault(kFaultStatus, QStringLiteral("Client"),
                               QStringLiteral("Unbekannte Operation „%1“ im Namensraum „%2“")
                                   .arg(call.operation, call.nameSpace));

        const QByteArray actionHeader = request.header("SOAPAction");
        const QString expectedAction = registration.soapAction(call.operation);
        if (actionHeader.isNull())
            throw RequestFault(kFaultStatus, QStringLiteral("Client"),
                               QStringLiteral("Der Anfrage fehlt die Kopfzeile SOAPAction; erwartet wird „%1“")
                                   .arg(expectedAction));
        const QString action = unquoted(QString::fromUtf8(actionHeader));
        if (action != expectedAction)
            throw RequestFault(kFaultStatus, QStringLiteral("Client"),
                               QStringLiteral("Die SOAPAction „%1“ passt nicht zur Operation „%2“; erwartet wird „%3“")
                                   .arg(action, call.operation, expectedAction));
        if (call.operation != op.name)
            throw RequestFault(kFaultStatus, QStringLiteral("Client"),
                               QStringLiteral("Die Operation „%1“ bietet dieser Dienst nicht an; er beantwortet nur %2")
                                   .arg(call.operation, op.name));

        const QString param = op.inParams.first();
        if (!call.params.contains(param))
            throw RequestFault(kFaultStatus, QStringLiteral("Client"),
                               QStringLiteral("Der Anfrage fehlt der Parameter „%1“").arg(param));
        return comicByIsbn(call.params.value(param));
    } catch (const RequestFault& fault) {
        return {fault.httpStatus(), service::buildFault(fault.faultCode(), fault.message())};
    } catch (const std::exception& e) {
        // The catalogue could not be read: the server's fault, not the caller's.
        return {kFaultStatus,
                service::buildFault(QStringLiteral("Server"),
                                    QStringLiteral("Der Katalog kann nicht gelesen werden: %1")
                                        .arg(QString::fromUtf8(e.what())))};
    }
}

ComicsServer::Reply ComicsServer::comicByIsbn(const QString& isbn)
{
    if (isbn.trimmed().isEmpty())
        throw RequestFault(kFaultStatus, QStringLiteral("Client"), QStringLiteral("Die Anfrage enthält keine ISBN"));
    const std::optional<QStringList> values = m_catalogue.comicByIsbn(isbn);
    if (!values)
        throw RequestFault(kFaultStatus, QStringLiteral("Client"),
                           QStringLiteral("Kein Comic mit der ISBN „%1“ im Katalog").arg(isbn));
    return {200, service::buildResponse(service::comicByIsbnOperation(), service::comicsPortRegistration().nameSpace,
                                        *values)};
}

} // namespace server

#include "ComicsServer.moc"
