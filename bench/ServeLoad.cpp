// Load on the comics service: several clients, each with the program's own
// SOAP client on a thread of its own, ask for comics by ISBN as fast as the
// answers come, a fixed number of times, and the run reports errors, latency
// percentiles and requests per second. Every tenth request asks for an ISBN
// the catalogue does not hold and must come back as that fault.
//
//   stripothek-serve-bench --dir DIR [--clients 8] [--requests 1000] [--url URL]
//
// Without --url the server runs in this process on a thread of its own;
// with it, the clients ask that server (for example "stripothek-db serve DIR").

#include "cli/Generator.h"
#include "database/Connection.h"
#include "server/ComicsServer.h"
#include "service/ComicsPort.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct ClientResult {
    std::vector<qint64> latenciesNs;
    int errors = 0;
    QString firstError;
};

QStringList catalogueIsbns(const QString& dir, int limit)
{
    db::Connection connection;
    connection.setDatabasePath(dir + QStringLiteral("/database"));
    connection.setReadOnly(true);
    connection.connect();
    db::Statement statement(connection.handle(),
                            QStringLiteral("SELECT DISTINCT SCLISBNNR FROM SERVERSTRIPOTHEK WHERE SCLINTISBNNR <> ''"
                                           " ORDER BY random() LIMIT ?"));
    statement.bind(1, limit);
    QStringList isbns;
    while (statement.step())
        isbns.append(statement.column(0).toString());
    return isbns;
}

// One client: its own connection, one request after the other.
void runClient(const QString& url, const QStringList& isbns, int requests, int offset, ClientResult& result)
{
    const auto port = service::NewComicsPort(url);
    result.latenciesNs.reserve(requests);
    QStringList v(10);
    for (int i = 0; i < requests; ++i) {
        const bool unknown = i % 10 == 9;
        const QString isbn = unknown ? QStringLiteral("0-000-00000-%1").arg(i) : isbns.at((offset + i) % isbns.size());
        QElapsedTimer timer;
        timer.start();
        QString error;
        try {
            port->ComicByISBN(isbn, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]);
            if (unknown)
                error = QStringLiteral("keine Fehlermeldung für die unbekannte ISBN %1").arg(isbn);
            else if (v[7] != isbn)
                error = QStringLiteral("falsche Antwort für %1: %2").arg(isbn, v[7]);
        } catch (const service::SoapFault& fault) {
            if (!unknown)
                error = fault.message();
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        result.latenciesNs.push_back(timer.nsecsElapsed());
        if (!error.isEmpty() && result.errors++ == 0)
            result.firstError = error;
    }
}

double percentileMs(const std::vector<qint64>& sorted, double p)
{
    if (sorted.empty())
        return 0;
    const size_t at = std::min(sorted.size() - 1, size_t(p / 100.0 * double(sorted.size())));
    return double(sorted[at]) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption dirOption("dir", "collection directory (generated when missing)", "DIR", "/tmp/bench");
    const QCommandLineOption clientsOption("clients", "number of clients", "N", "8");
    const QCommandLineOption requestsOption("requests", "requests per client", "N", "1000");
    const QCommandLineOption urlOption("url", "endpoint of a running server", "URL");
    const QCommandLineOption volumesOption("volumes", "volumes when generating", "N", "100000");
    parser.addOptions({dirOption, clientsOption, requestsOption, urlOption, volumesOption});
    parser.process(app);

    const QString dir = parser.value(dirOption);
    const int clients = parser.value(clientsOption).toInt();
    const int requests = parser.value(requestsOption).toInt();
    try {
        if (!QFileInfo::exists(dir + QStringLiteral("/database/stripothek.db")))
            cli::createGeneratedDatabase(dir, parser.value(volumesOption).toInt());
        const QStringList isbns = catalogueIsbns(dir, 1000);
        if (isbns.isEmpty())
            throw db::Error(QStringLiteral("Der Katalog in %1 enthält keine ISBN").arg(dir));

        // The server lives on a thread of its own, as it would in a process of its own.
        QThread serverThread;
        QObject serverHome;
        std::unique_ptr<server::ComicsServer> server;
        QString url = parser.value(urlOption);
        if (url.isEmpty()) {
            serverThread.start();
            serverHome.moveToThread(&serverThread);
            QString failure;
            QMetaObject::invokeMethod(
                &serverHome,
                [&] {
                    try {
                        server = std::make_unique<server::ComicsServer>(dir);
                        server->start(QHostAddress::LocalHost, 0);
                        url = server->endpointUrl().toString();
                    } catch (const std::exception& e) {
                        failure = QString::fromUtf8(e.what());
                    }
                },
                Qt::BlockingQueuedConnection);
            if (!failure.isEmpty())
                throw db::Error(failure);
        }

        std::vector<ClientResult> results(clients);
        std::vector<std::unique_ptr<QThread>> threads;
        QElapsedTimer wall;
        wall.start();
        for (int c = 0; c < clients; ++c)
            threads.emplace_back(QThread::create(runClient, url, isbns, requests, c * 997, std::ref(results[c])));
        for (auto& thread : threads)
            thread->start();
        for (auto& thread : threads)
            thread->wait();
        const double seconds = double(wall.nsecsElapsed()) / 1e9;

        if (server) {
            QMetaObject::invokeMethod(&serverHome, [&] { server.reset(); }, Qt::BlockingQueuedConnection);
            serverThread.quit();
            serverThread.wait();
        }

        std::vector<qint64> all;
        int errors = 0;
        QString firstError;
        for (const ClientResult& r : results) {
            all.insert(all.end(), r.latenciesNs.begin(), r.latenciesNs.end());
            errors += r.errors;
            if (firstError.isEmpty())
                firstError = r.firstError;
        }
        std::sort(all.begin(), all.end());
        std::printf("server       %s\n", qPrintable(parser.isSet(urlOption) ? url : QStringLiteral("in-process thread")));
        std::printf("catalogue    %s, %lld ISBNs asked for\n", qPrintable(dir), qlonglong(isbns.size()));
        std::printf("clients      %d x %d requests (every 10th an unknown ISBN)\n", clients, requests);
        std::printf("requests     %zu in %.2f s = %.0f per second\n", all.size(), seconds, double(all.size()) / seconds);
        std::printf("errors       %d%s%s\n", errors, firstError.isEmpty() ? "" : ", first: ", qPrintable(firstError));
        std::printf("latency ms   p50 %.2f   p90 %.2f   p99 %.2f   max %.2f\n", percentileMs(all, 50),
                    percentileMs(all, 90), percentileMs(all, 99), percentileMs(all, 100));
        return errors == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "stripothek-serve-bench: %s\n", e.what());
        return 1;
    }
}
