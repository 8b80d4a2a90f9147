#pragma once

#include "server/CatalogueLookup.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QUrl>

namespace server {

// What one connection may cost the server.
struct ServerLimits {
    // A request (head and body) larger than this is refused with 413; an
    // honest call of the service takes well under one kilobyte.
    qint64 maxRequestBytes = 64 * 1024;
    // A connection must bring a whole request this often, or it is closed:
    // idle kept-alive connections and clients that trickle bytes alike.
    int idleTimeoutMs = 30'000;
    // More open connections than this are refused with 503.
    int maxConnections = 256;
};

class GuardedTcpServer;
class HttpAdapter;
struct HttpReply;
struct HttpRequest;

// The comics service over one catalogue: answers ComicByISBN at the
// endpoint path with the SOAP 1.1 messages the program's client sends and
// reads, and every other request with a SOAP fault in German.
class ComicsServer : public QObject {
    Q_OBJECT
public:
    // Opens the catalogue below directory read-only. Throws db::Error.
    explicit ComicsServer(const QString& directory, const ServerLimits& limits = {}, QObject* parent = nullptr);
    ~ComicsServer() override;

    // Listens on address; port 0 takes a free one. Returns the port. Throws
    // db::Error when the address cannot be bound.
    quint16 start(const QHostAddress& address, quint16 port);

    // Where clients reach the service, e.g. http://127.0.0.1:8080/soaptest/server.php.
    QUrl endpointUrl() const { return m_url; }
    QString databaseFile() const { return m_catalogue.databaseFile(); }
    int openConnections() const;
    // The port it listens on, once started.
    QList<quint16> serverPorts() const;

private:
    struct Reply {
        int status = 200;
        QByteArray body;
    };
    HttpReply respond(const HttpRequest& request);
    Reply answer(const HttpRequest& request);
    Reply comicByIsbn(const QString& isbn);

    ServerLimits m_limits;
    CatalogueLookup m_catalogue;
    HttpAdapter* m_http; // a child
    GuardedTcpServer* m_tcp = nullptr; // owned by m_http, as bound
    QUrl m_url;
};

} // namespace server
