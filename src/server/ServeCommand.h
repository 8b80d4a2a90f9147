#pragma once

#include <QHostAddress>
#include <QString>
#include <QTextStream>

namespace server {

inline constexpr quint16 kDefaultPort = 8080;

struct ServeOptions {
    QString directory;
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = kDefaultPort;
};

// What --listen accepts: an IPv4 or IPv6 address, "localhost", or "*" for
// every address of the machine. A null address when the text is none of these.
QHostAddress parseListenAddress(const QString& text);

// Serves the catalogue below options.directory until SIGINT or SIGTERM, then
// returns. Says where it listens on out. Throws db::Error when the catalogue
// cannot be opened or the address not bound.
void serve(const ServeOptions& options, QTextStream& out);

// The help of "stripothek-db serve".
QString serveHelpText();

} // namespace server
