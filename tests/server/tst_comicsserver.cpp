#include "ModalWatcher.h"
#include "RawHttpClient.h"
#include "cli/Demo.h"
#include "database/Connection.h"
#include "database/Isbn.h"
#include "database/Schema.h"
#include "core/Command.h"
#include "server/ComicsServer.h"
#include "service/ComicDownload.h"
#include "service/ComicsPort.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using server::ComicsServer;
using server::ServerLimits;

namespace {

// The catalogue the tests serve, as the ten values the service must send for
// each comic. Names live in the lookup tables; the catalogue rows carry
// references to them and copies of the names.
const QStringList kSpirou = {"Spirou und Fantasio", "Das Nest im Urwald", "Äß <&> \"Zitat\"", "Carlsen Comics",
                             "Spirou", "19", "64", "3-551-77219-2", "Comic", "Abenteuer & Humor"};
// No series, no publisher reference (only the copied name), no volume number or page count.
const QStringList kGeisterschiff = {"Das Geisterschiff", "", "", "Nordlicht", "", "", "", "ISBN 3-551-12222-9", "", ""};
// Two volumes share one ISBN; the first in series order is served.
const QStringList kAlpha = {"Früher", "", "", "", "Alpha", "2", "", "978-3-7704-0001-1", "", ""};
const QStringList kZeta = {"Später", "", "", "", "Zeta", "1", "", "978-3-7704-0001-1", "", ""};

void addComic(db::schema::RowWriter& rows, const QString& id, const QStringList& wire, const QString& seriesKey,
              const QString& publisherKey, const QString& copiedPublisher, bool withTypes)
{
    const auto number = [](const QString& text) { return text.isEmpty() ? db::schema::Value() : text.toInt(); };
    const auto key = [](const QString& text) { return text.isEmpty() ? db::schema::Value() : text; };
    rows.insert({id, wire[0], wire[1], wire[2], key(seriesKey), number(wire[5]), key(publisherKey), wire[7],
                 number(wire[6]), withTypes ? db::schema::Value("LA1") : db::schema::Value(),
                 withTypes ? db::schema::Value("UA1") : db::schema::Value(), db::ReduceIsbn(wire[7]),
                 copiedPublisher, wire[4], 0, 0});
}

void createCatalogue(const QString& dir)
{
    db::schema::createDatabase(dir, [](sqlite3* db) {
        db::schema::RowWriter(db, "VERLAGE", {"VLVERLAGID", "VLNAME1"}).insert({"V1", kSpirou[3]});
        db::schema::RowWriter series(db, "SERIEN", {"SRSERIENID", "SRNAME"});
        series.insert({"S1", kSpirou[4]});
        series.insert({"S2", kAlpha[4]});
        series.insert({"S3", kZeta[4]});
        db::schema::RowWriter(db, "LITERATURART", {"LAARTID", "LANAME"}).insert({"LA1", kSpirou[8]});
        db::schema::RowWriter(db, "UNTERART", {"UATID", "UANAME"}).insert({"UA1", kSpirou[9]});
        db::schema::RowWriter rows(db, "SERVERSTRIPOTHEK",
                                   {"SCLCOMICID", "SCLTITEL1", "SCLTITEL2", "SCLTITEL3", "SCLSERIEID", "SCLBAND",
                                    "SCLVERLAGID", "SCLISBNNR", "SCLSEITEN", "SCLLITARTID", "SCLSPARTEID",
                                    "SCLINTISBNNR", "SCLVERLAGTEXT", "SCLSERIENTEXT", "SCLFEHLT", "SCLZUKAUFEN"});
        // The copied publisher name is stale: the reference must win.
        addComic(rows, "C1", kSpirou, "S1", "V1", "Carlsen", true);
        addComic(rows, "C2", kGeisterschiff, {}, {}, kGeisterschiff[3], false);
        addComic(rows, "C3", kZeta, "S3", {}, {}, false);
        addComic(rows, "C4", kAlpha, "S2", {}, {}, false);
    });
}

QStringList fetch(const QString& url, const QString& isbn)
{
    QStringList v(10);
    service::NewComicsPort(url)->ComicByISBN(isbn, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]);
    return v;
}

QByteArray envelope(const QByteArray& content, const QByteArray& ns = "http://schemas.xmlsoap.org/soap/envelope/")
{
    return "<?xml version=\"1.0\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"" + ns + "\"><SOAP-ENV:Body>" + content
        + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

QByteArray call(const QByteArray& isbnElement, const QByteArray& operation = "ComicByISBN")
{
    return "<NS1:" + operation + " xmlns:NS1=\"urn:Comics\">" + isbnElement + "</NS1:" + operation + ">";
}

} // namespace

class ComicsServerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ComicsServer> m_server;
    QString m_url;

    void startServer(const ServerLimits& limits = {})
    {
        m_server = std::make_unique<ComicsServer>(m_dir.path(), limits);
        m_server->start(QHostAddress::LocalHost, 0);
        m_url = m_server->endpointUrl().toString();
    }

private slots:
    void initTestCase()
    {
        createCatalogue(m_dir.path());
    }

    void init()
    {
        startServer();
    }

    void cleanup()
    {
        m_server.reset();
    }

    void fetchesComic_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("as stored") << "3-551-77219-2" << kSpirou;
        QTest::newRow("digits only") << "3551772192" << kSpirou;
        QTest::newRow("other punctuation and a prefix") << "isbn 3 551 77219 2" << kSpirou;
        QTest::newRow("stored with prefix, asked without") << "3-551-12222-9" << kGeisterschiff;
        QTest::newRow("asked with prefix") << "ISBN3551122229" << kGeisterschiff;
        QTest::newRow("two volumes share it") << "9783770400011" << kAlpha;
    }
    void fetchesComic()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, expected);
        QCOMPARE(fetch(m_url, typed), expected);
    }

    void unknownIsbnIsAFault_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("not in the catalogue") << "3-551-00000-0" << "Kein Comic mit der ISBN „3-551-00000-0“ im Katalog";
        QTest::newRow("only punctuation") << "--" << "Kein Comic mit der ISBN „--“ im Katalog";
        QTest::newRow("prefix alone") << "ISBN" << "Kein Comic mit der ISBN „ISBN“ im Katalog";
        QTest::newRow("empty") << "" << "Die Anfrage enthält keine ISBN";
    }
    void unknownIsbnIsAFault()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        try {
            fetch(m_url, typed);
            QFAIL("no fault");
        } catch (const service::SoapFault& fault) {
            QCOMPARE(fault.message(), message);
            QCOMPARE(fault.faultCode(), QStringLiteral("SOAP-ENV:Client"));
        }
    }

    void refusesHostileRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("faultCode");
        QTest::addColumn<QString>("message"); // a part of the fault string

        const QByteArray good = envelope(call("<isbn>3551772192</isbn>"));
        QTest::newRow("wrong path") << QByteArray(soapPost(good).replace("/soaptest/server.php", "/soap"))
                                    << 404 << "Client" << "Unbekannter Pfad „/soap“";
        QTest::newRow("wrong method") << QByteArray("GET /soaptest/server.php HTTP/1.1\r\nHost: x\r\n\r\n") << 405
                                      << "Client" << "Methode GET";
        QTest::newRow("form data") << soapPost("isbn=3551772192", "application/x-www-form-urlencoded") << 415
                                   << "Client" << "Inhaltstyp „application/x-www-form-urlencoded“";
        QTest::newRow("not XML") << soapPost("ISBN 3551772192, bitte") << 500 << "Client"
                                 << "kein wohlgeformtes XML";
        QTest::newRow("cut off") << soapPost(good.left(good.size() - 20)) << 500 << "Client"
                                 << "kein wohlgeformtes XML";
        QTest::newRow("no document") << soapPost("<?xml version=\"1.0\"?>") << 500 << "Client"
                                     << "kein XML-Dokument";
        QTest::newRow("huge body") << soapPost(QByteArray(1024 * 1024, 'x')) << 413 << "Client"
                                   << "größer als 64 KB";
        QTest::newRow("entity bomb")
            << soapPost("<?xml version=\"1.0\"?><!DOCTYPE b [<!ENTITY a \"aaaaaaaaaa\">"
                        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
                        + envelope(call("<isbn>&c;</isbn>")).mid(21))
            << 500 << "Client" << "Dokumenttypdeklaration";
        QTest::newRow("undeclared entity") << soapPost(envelope(call("<isbn>&lol;</isbn>"))) << 500 << "Client"
                                           << "kein wohlgeformtes XML";
        QTest::newRow("missing ISBN element") << soapPost(envelope(call("<titel>Spirou</titel>"))) << 500
                                              << "Client" << "fehlt der Parameter „isbn“";
        QTest::newRow("SOAP 1.2")
            << soapPost(envelope(call("<isbn>3551772192</isbn>"), "http://www.w3.org/2003/05/soap-envelope"),
                        "application/soap+xml")
            << 500 << "VersionMismatch" << "nur SOAP 1.1";
        QTest::newRow("not an envelope") << soapPost("<isbn>3551772192</isbn>") << 500 << "Client"
                                         << "Dokumentelement";
        QTest::newRow("no SOAPAction") << soapPost(good, "text/xml", QByteArray()) << 500 << "Client"
                                       << "fehlt die Kopfzeile SOAPAction";
        QTest::newRow("other SOAPAction") << soapPost(good, "text/xml", "\"urn:Comics#clservice#Login\"") << 500
                                          << "Client" << "passt nicht zur Operation";
        QTest::newRow("operation not offered")
            << soapPost(envelope(call("<login>a</login><password>b</password>", "Login")), "text/xml",
                        "\"urn:Comics#clservice#Login\"")
            << 500 << "Client" << "bietet dieser Dienst nicht an";
        QTest::newRow("unknown operation") << soapPost(envelope("<DeleteAll xmlns=\"urn:Comics\"/>")) << 500
                                           << "Client" << "Unbekannte Operation „DeleteAll“";
        QTest::newRow("empty body") << soapPost(envelope("")) << 500 << "Client" << "keinen SOAP-Body";
        QTest::newRow("two bodies")
            << soapPost(QByteArray(good).replace("</SOAP-ENV:Body>", "</SOAP-ENV:Body><SOAP-ENV:Body/>")) << 500
            << "Client" << "Body steht zweimal";
        QTest::newRow("header to be understood")
            << soapPost(QByteArray(good).replace("<SOAP-ENV:Body>",
                                                 "<SOAP-ENV:Header><Auth SOAP-ENV:mustUnderstand=\"1\"/>"
                                                 "</SOAP-ENV:Header><SOAP-ENV:Body>"))
            << 500 << "MustUnderstand" << "„Auth“";
    }
    void refusesHostileRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QString, faultCode);
        QFETCH(QString, message);

        RawHttpClient client(m_server->serverPorts().first(), request);
        QTRY_VERIFY(client.answered());
        QCOMPARE(client.status(), status);
        QVERIFY2(client.head().contains("Content-Type: text/xml; charset=utf-8"), client.head());
        try {
            service::decodeResponse(client.body(), service::comicByIsbnOperation());
            QFAIL("no fault");
        } catch (const service::SoapFault& fault) {
            QCOMPARE(fault.faultCode(), QStringLiteral("SOAP-ENV:") + faultCode);
            QVERIFY2(fault.message().contains(message), qPrintable(fault.message()));
        }
        // And it goes on serving.
        QCOMPARE(fetch(m_url, kSpirou[7]), kSpirou);
    }

    void answersManyClientsAtOnce()
    {
        const QList<QStringList> comics{kSpirou, kGeisterschiff, kAlpha};
        std::vector<std::unique_ptr<RawHttpClient>> clients;
        for (int i = 0; i < 60; ++i) {
            const QByteArray isbn = comics[i % 3][7].toUtf8();
            clients.push_back(std::make_unique<RawHttpClient>(
                m_server->serverPorts().first(), soapPost(envelope(call("<isbn>" + isbn + "</isbn>")))));
        }
        QTRY_VERIFY(std::all_of(clients.begin(), clients.end(), [](const auto& c) { return c->answered(); }));
        for (int i = 0; i < 60; ++i) {
            QCOMPARE(clients[i]->status(), 200);
            const auto answer = service::decodeResponse(clients[i]->body(), service::comicByIsbnOperation());
            QCOMPARE(answer.outValues.value("Titel1"), comics[i % 3][0]);
        }
    }

    void closesConnectionsThatBringNoRequest()
    {
        startServer(ServerLimits{64 * 1024, 50, 256});
        RawHttpClient silent(m_server->serverPorts().first(), {});
        RawHttpClient trickling(m_server->serverPorts().first(), "POST /soaptest/server.php HTTP/1.1\r\nHo");
        QTRY_VERIFY(silent.closed() && trickling.closed());
        QVERIFY(!trickling.answered());
        QCOMPARE(fetch(m_url, kSpirou[7]), kSpirou);
    }

    // The download dialog keeps its client; a connection the server closed
    // while the user was reading must not fail the next search.
    void keptClientSurvivesIdleClose()
    {
        startServer(ServerLimits{64 * 1024, 50, 256});
        const auto port = service::NewComicsPort(m_url);
        QStringList v(10);
        port->ComicByISBN(kSpirou[7], v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]);
        QCOMPARE(m_server->openConnections(), 1);
        QTRY_COMPARE(m_server->openConnections(), 0);
        port->ComicByISBN(kAlpha[7], v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]);
        QCOMPARE(v, kAlpha);
    }

    void refusesConnectionsBeyondTheLimit()
    {
        startServer(ServerLimits{64 * 1024, 30'000, 2});
        const quint16 port = m_server->serverPorts().first();
        RawHttpClient first(port, {});
        RawHttpClient second(port, {});
        QTRY_VERIFY(first.connected() && second.connected());
        RawHttpClient third(port, soapPost(envelope(call("<isbn>3551772192</isbn>"))));
        QTRY_VERIFY(third.answered());
        QCOMPARE(third.status(), 503);
        QTRY_VERIFY(third.closed());

        first.send(soapPost(envelope(call("<isbn>3551772192</isbn>"))));
        QTRY_VERIFY(first.answered());
        QCOMPARE(first.status(), 200);
    }

    // The program may edit the catalogue while it is served; the next answer shows it.
    void servesTheCatalogueAsEdited()
    {
        db::Connection program;
        program.setDatabasePath(m_dir.path() + "/database");
        program.connect();
        program.execute("UPDATE SERVERSTRIPOTHEK SET SCLTITEL2 = ? WHERE SCLCOMICID = 'C2'", {"Neu geschrieben"});
        QCOMPARE(fetch(m_url, kGeisterschiff[7])[1], QStringLiteral("Neu geschrieben"));
        program.execute("UPDATE SERVERSTRIPOTHEK SET SCLTITEL2 = '' WHERE SCLCOMICID = 'C2'");
    }

    void refusesMissingCatalogue()
    {
        QTemporaryDir empty;
        QVERIFY_THROWS_EXCEPTION(db::EngineError, ComicsServer(empty.path()));
    }

    // The whole road: the download dialog of the program asks the served demo
    // collection for a comic, typed differently from how it is stored.
    void downloadDialogFetchesFromServedDemo()
    {
        QTemporaryDir demoDir;
        cli::createDemoDatabase(demoDir.path());
        ComicsServer demo(demoDir.path());
        demo.start(QHostAddress::LocalHost, 0);
        qputenv("STRIPOTHEK_COMICS_URL", demo.endpointUrl().toString().toUtf8());

        db::Connection reader;
        reader.setDatabasePath(demoDir.path() + "/database");
        reader.connect();
        db::Statement stored(reader.handle(), "SELECT SCLISBNNR, SCLTITEL1, SCLSERIENTEXT, SCLBAND FROM SERVERSTRIPOTHEK"
                                              " WHERE SCLISBNNR LIKE 'ISBN %' LIMIT 1");
        QVERIFY(stored.step());
        const QString isbn = stored.column(0).toString();

        QStringList errors;
        const ui::ErrorSink previous = ui::setErrorSink([&](const QString& message) { errors.append(message); });
        ModalWatcher watcher;
        {
            service::TComicDownload dialog(nullptr);
            QTest::keyClicks(dialog.findChild<QLineEdit*>("editISBNNr"), isbn.mid(5).remove('-'));
            QTest::mouseClick(dialog.findChild<QPushButton*>("btnSearch"), Qt::LeftButton);
            const QStringList lines = dialog.findChild<QPlainTextEdit*>("memoData")->toPlainText().split('\n');
            QCOMPARE(lines.size(), 11);
            QCOMPARE(lines[1], stored.column(1).toString());
            QCOMPARE(lines[5], stored.column(2).toString());
            QCOMPARE(lines[6], stored.column(3).toString());
            QCOMPARE(lines[8], isbn);
        }
        ui::setErrorSink(previous);
        qunsetenv("STRIPOTHEK_COMICS_URL");
        QCOMPARE(errors, QStringList());
        QCOMPARE(watcher.messages.size(), 1);
        QVERIFY2(QRegularExpression("^Dauer: \\d+$").match(watcher.messages.first()).hasMatch(),
                 qPrintable(watcher.messages.first()));
    }
};

QTEST_MAIN(ComicsServerTest)
#include "tst_comicsserver.moc"
