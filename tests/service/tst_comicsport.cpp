#include "ModalWatcher.h"
#include "SoapTestServer.h"
#include "service/ComicsPort.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QtTest>

using namespace service;

namespace {

const QByteArray kDeclarationAndEnvelope =
    "<?xml version=\"1.0\"?>"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\">"
    "<SOAP-ENV:Body SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">";
const QByteArray kBodyAndEnvelopeEnd = "</SOAP-ENV:Body></SOAP-ENV:Envelope>";

const QStringList kTen = {"Asterix der Gallier", "Band eins", "Neuauflage", "Ehapa", "Asterix",
                          "1", "48", "3770400011", "Comic", "Funny"};

// The ten out-parameter elements of an answer, in the declared order.
QByteArray tenElements()
{
    static const char* names[] = {"Titel1", "Titel2", "Titel3", "Verlag", "Serie",
                                  "Band", "Seiten", "ISBNNR", "Gruppe", "Sparte"};
    QByteArray xml;
    for (int i = 0; i < 10; ++i)
        xml += QByteArray("<") + names[i] + " xsi:type=\"xsd:string\">" + kTen[i].toUtf8() + "</" + names[i] + ">";
    return xml;
}

QByteArray comicAnswer(const QByteArray& children)
{
    return soapEnvelope("<NS1:ComicByISBNResponse xmlns:NS1=\"urn:Comics\">" + children
                        + "</NS1:ComicByISBNResponse>");
}

QStringList comicByIsbn(ComicsPort& port, const QString& isbn)
{
    QString v[10];
    port.ComicByISBN(isbn, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]);
    return QStringList(std::begin(v), std::end(v));
}

QString callAndCatch(const std::function<void()>& call)
{
    try {
        call();
    } catch (const db::Error& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

QString certPath(const char* file)
{
    return QStringLiteral(STRIPOTHEK_TEST_CERTS "/") + QLatin1String(file);
}

QSslConfiguration serverTls(const char* certificateFile)
{
    QFile certFile(certPath(certificateFile));
    QFile keyFile(certPath("server.key"));
    certFile.open(QIODevice::ReadOnly);
    keyFile.open(QIODevice::ReadOnly);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(&certFile));
    tls.setPrivateKey(QSslKey(&keyFile, QSsl::Ec));
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    return tls;
}

enum class Call { Login, TitleByISBN, ComicByISBN };

} // namespace

class ComicsPortTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Loopback only: keep a proxy of the machine out of the way.
        for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy"})
            qunsetenv(name);
        qunsetenv("STRIPOTHEK_COMICS_URL");
    }

    void requestOnTheWire_data()
    {
        QTest::addColumn<int>("call");
        QTest::addColumn<QByteArray>("action");
        QTest::addColumn<QByteArray>("operation");

        QTest::newRow("ComicByISBN") << int(Call::ComicByISBN) << QByteArray("\"urn:Comics#clservice#ComicByISBN\"")
                                     << QByteArray("<NS1:ComicByISBN xmlns:NS1=\"urn:Comics\">"
                                                   "<isbn xsi:type=\"xsd:string\">3-7704-0001-1</isbn>"
                                                   "</NS1:ComicByISBN>");
        QTest::newRow("TitleByISBN") << int(Call::TitleByISBN) << QByteArray("\"urn:Comics#clservice#TitleByISBN\"")
                                     << QByteArray("<NS1:TitleByISBN xmlns:NS1=\"urn:Comics\">"
                                                   "<isbn xsi:type=\"xsd:string\">3-7704-0001-1</isbn>"
                                                   "</NS1:TitleByISBN>");
        QTest::newRow("Login") << int(Call::Login) << QByteArray("\"urn:Comics#clservice#Login\"")
                               << QByteArray("<NS1:Login xmlns:NS1=\"urn:Comics\">"
                                             "<login xsi:type=\"xsd:string\">anna</login>"
                                             "<password xsi:type=\"xsd:string\">geheim</password>"
                                             "</NS1:Login>");
    }
    void requestOnTheWire()
    {
        QFETCH(int, call);
        QFETCH(QByteArray, action);
        QFETCH(QByteArray, operation);

        SoapTestServer server;
        server.enqueue(soapEnvelope("<r><return>x</return></r>"));
        const auto port = NewComicsPort(server.url());
        switch (Call(call)) {
        case Call::Login:
            port->Login("anna", "geheim");
            break;
        case Call::TitleByISBN:
            port->TitleByISBN("3-7704-0001-1");
            break;
        case Call::ComicByISBN:
            comicByIsbn(*port, "3-7704-0001-1");
            break;
        }

        QCOMPARE(server.requests.size(), 1);
        const RecordedRequest& request = server.requests.first();
        QCOMPARE(request.requestLine, QByteArray("POST /soaptest/server.php HTTP/1.1"));
        QCOMPARE(request.header("SOAPAction"), action);
        QCOMPARE(request.header("Content-Type"), QByteArray("text/xml"));
        QCOMPARE(request.header("User-Agent"), QByteArray("Borland SOAP 1.2"));
        QCOMPARE(request.header("Connection").toLower(), QByteArray("keep-alive"));
        QCOMPARE(request.header("Host"), "127.0.0.1:" + QByteArray::number(server.port()));
        QCOMPARE(request.header("Content-Length").toLongLong(), request.body.size());
        QCOMPARE(request.body, QByteArray(kDeclarationAndEnvelope + operation + kBodyAndEnvelopeEnd));
    }

    void isbnParameter_data()
    {
        QTest::addColumn<QString>("isbn");
        QTest::addColumn<QByteArray>("element");

        QTest::newRow("empty isbn still sent") << QString() << QByteArray("<isbn xsi:type=\"xsd:string\"></isbn>");
        QTest::newRow("ampersand and less-than escaped")
            << QStringLiteral("3&4<5>") << QByteArray("<isbn xsi:type=\"xsd:string\">3&amp;4&lt;5&gt;</isbn>");
        QTest::newRow("blanks kept as typed") << QStringLiteral(" 3 77 ") << QByteArray("<isbn xsi:type=\"xsd:string\"> 3 77 </isbn>");
        QTest::newRow("umlauts as UTF-8") << QStringLiteral("Öß€")
                                          << QByteArray("<isbn xsi:type=\"xsd:string\">\xc3\x96\xc3\x9f\xe2\x82\xac</isbn>");
    }
    void isbnParameter()
    {
        QFETCH(QString, isbn);
        QFETCH(QByteArray, element);

        SoapTestServer server;
        const auto port = NewComicsPort(server.url());
        comicByIsbn(*port, isbn);

        QCOMPARE(server.requests.size(), 1);
        const QByteArray body = server.requests.first().body;
        QVERIFY(!body.startsWith("\xef\xbb\xbf"));
        QCOMPARE(body, QByteArray(kDeclarationAndEnvelope + "<NS1:ComicByISBN xmlns:NS1=\"urn:Comics\">" + element
                                  + "</NS1:ComicByISBN>" + kBodyAndEnvelopeEnd));
    }

    void comicAnswerDecoding_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("all ten in order") << comicAnswer(tenElements()) << kTen;
        QTest::newRow("other order, no xsi:type")
            << comicAnswer("<Sparte>Funny</Sparte><Gruppe>Comic</Gruppe><ISBNNR>3770400011</ISBNNR>"
                           "<Seiten>48</Seiten><Band>1</Band><Serie>Asterix</Serie><Verlag>Ehapa</Verlag>"
                           "<Titel3>Neuauflage</Titel3><Titel2>Band eins</Titel2><Titel1>Asterix der Gallier</Titel1>")
            << kTen;
        QStringList noTitle1 = kTen;
        noTitle1[0].clear();
        QTest::newRow("lower-case titel1 is not Titel1")
            << comicAnswer(tenElements().replace("Titel1", "titel1")) << noTitle1;
        QTest::newRow("first of two Titel1 wins")
            << comicAnswer(tenElements() + "<Titel1>zweiter</Titel1>") << kTen;
        QStringList noPages = kTen;
        noPages[6].clear();
        QTest::newRow("missing Seiten stays empty")
            << comicAnswer(tenElements().replace("<Seiten xsi:type=\"xsd:string\">48</Seiten>", "")) << noPages;
        QTest::newRow("unknown and namespaced elements ignored")
            << comicAnswer("<Autor>Goscinny</Autor><x:Titel2 xmlns:x=\"urn:x\">ns</x:Titel2>") << QStringList{
                   "", "ns", "", "", "", "", "", "", "", ""};
        QTest::newRow("child markup is the value")
            << comicAnswer("<Titel1>Der <b>große</b> Kampf</Titel1>")
            << QStringList{"Der <b>große</b> Kampf", "", "", "", "", "", "", "", "", ""};
        QTest::newRow("entities and CDATA decoded")
            << comicAnswer("<Verlag>Carlsen &amp; S&#246;hne</Verlag><Serie><![CDATA[<Spirou>]]></Serie>")
            << QStringList{"", "", "", "Carlsen & Söhne", "<Spirou>", "", "", "", "", ""};
        QTest::newRow("empty body element") << soapEnvelope({}) << QStringList(10, QString());
        QTest::newRow("no body at all")
            << QByteArray("<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Header/></e:Envelope>")
            << QStringList(10, QString());
        QTest::newRow("text/html with charset passes to the XML")
            << comicAnswer(tenElements()) << kTen; // content type set in the test body
    }
    void comicAnswerDecoding()
    {
        QFETCH(QByteArray, response);
        QFETCH(QStringList, expected);

        SoapTestServer server;
        ScriptedResponse scripted;
        scripted.body = response;
        if (QByteArray(QTest::currentDataTag()).startsWith("text/html"))
            scripted.headers = {{"Content-Type", "text/html; charset=utf-8"}};
        server.enqueue(scripted);
        const auto port = NewComicsPort(server.url());
        QCOMPARE(comicByIsbn(*port, "3770400011"), expected);
    }

    void failures_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reason");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message"); // %URL% stands for the endpoint
        QTest::addColumn<bool>("pattern");     // message is a regular expression
        QTest::addColumn<bool>("freshConnection");

        const QByteArray fault = soapEnvelope(
            "<SOAP-ENV:Fault><faultcode>SOAP-ENV:Server</faultcode>"
            "<faultstring>ISBN unbekannt</faultstring></SOAP-ENV:Fault>");

        QTest::newRow("500 with fault") << 500 << QByteArray("Internal Server Error") << QByteArray("text/xml")
                                        << fault << QStringLiteral("ISBN unbekannt") << false << false;
        QTest::newRow("fault with 200, last faultstring counts, any case")
            << 200 << QByteArray("OK") << QByteArray("text/xml")
            << soapEnvelope("<Fault><FaultString>erste</FaultString><faultstring>letzte</faultstring></Fault>")
            << QStringLiteral("letzte") << false << false;
        QTest::newRow("fault without faultstring") << 500 << QByteArray("Internal Server Error") << QByteArray()
                                                   << soapEnvelope("<Fault><faultcode>x</faultcode></Fault>")
                                                   << QString() << false << false;
        QTest::newRow("404") << 404 << QByteArray("Not Found") << QByteArray("text/html") << QByteArray("weg")
                             << QStringLiteral("Not Found (404) - '%URL%'") << false << true;
        QTest::newRow("redirect is not followed")
            << 301 << QByteArray("Moved Permanently") << QByteArray("text/xml") << fault
            << QStringLiteral("Moved Permanently (301) - '%URL%'") << false << true;
        QTest::newRow("500 without fault, not XML") << 500 << QByteArray("Internal Server Error")
                                                    << QByteArray("text/xml") << QByteArray("Absturz")
                                                    << QStringLiteral(".+ \\(Zeile 1, Spalte \\d+\\)") << true << false;
        QTest::newRow("text/html") << 200 << QByteArray("OK") << QByteArray("text/html") << fault
                                   << QStringLiteral("Empfang von Inhalt mit ungültigen Einstellungen für Inhaltstyp: "
                                            "text/html - SOAP erwartet \"text/xml\"") << false
                                   << true;
        QTest::newRow("TEXT/Plain") << 200 << QByteArray("OK") << QByteArray("TEXT/Plain") << fault
                                    << QStringLiteral("Empfang von Inhalt mit ungültigen Einstellungen für Inhaltstyp: "
                                             "TEXT/Plain - SOAP erwartet \"text/xml\"") << false
                                    << true;
        QTest::newRow("text/html with charset reaches the XML test")
            << 200 << QByteArray("OK") << QByteArray("text/html; charset=iso-8859-1")
            << QByteArray("<html><body>Wartung<br></body></html>")
            << QStringLiteral(".+ \\(Zeile 1, Spalte \\d+\\)") << true << false;
        QTest::newRow("empty body") << 200 << QByteArray("OK") << QByteArray("text/xml") << QByteArray()
                                    << QStringLiteral("Ungültige SOAP-Antwort") << false << false;
        QTest::newRow("SOAP 1.2 envelope")
            << 200 << QByteArray("OK") << QByteArray("application/soap+xml")
            << QByteArray("<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\"><env:Body/></env:Envelope>")
            << QStringLiteral("Dokumentelement http://schemas.xmlsoap.org/soap/envelope/:Envelope erwartet, "
                     "http://www.w3.org/2003/05/soap-envelope:Envelope gefunden") << false
            << false;
        QTest::newRow("no envelope") << 200 << QByteArray("OK") << QByteArray("text/xml")
                                     << QByteArray("<Antwort>ok</Antwort>")
                                     << QStringLiteral("Dokumentelement http://schemas.xmlsoap.org/soap/envelope/:Envelope "
                                              "erwartet, :Antwort gefunden") << false
                                     << false;
        QTest::newRow("envelope without children")
            << 200 << QByteArray("OK") << QByteArray("text/xml")
            << QByteArray("<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"></e:Envelope>")
            << QStringLiteral("Ungültige SOAP-Anforderung") << false << false;
        QTest::newRow("second body")
            << 200 << QByteArray("OK") << QByteArray("text/xml")
            << QByteArray("<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                          "<e:Body/><Body/></e:Envelope>")
            << QStringLiteral("Ungültige SOAP-Antwort") << false << false;
        QTest::newRow("second header")
            << 200 << QByteArray("OK") << QByteArray("text/xml")
            << QByteArray("<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                          "<e:Header/><e:Body/><e:Header/></e:Envelope>")
            << QStringLiteral("Ungültige SOAP-Antwort") << false << false;
        QTest::newRow("entity expansion")
            << 200 << QByteArray("OK") << QByteArray("text/xml")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY a \"aaaaaaaaaa\">"
                          "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
                          "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body>"
                          "<r><Titel1>&c;&c;&c;</Titel1></r></e:Body></e:Envelope>")
            << QStringLiteral("Die Antwort des Comic-Dienstes enthält eine Dokumenttypdeklaration (DTD). Solche "
                              "Antworten werden abgelehnt, weil ihre Entitäten den Speicher erschöpfen können")
            << false << false;
        QTest::newRow("nesting too deep")
            << 200 << QByteArray("OK") << QByteArray("text/xml")
            << soapEnvelope(QByteArray("<a>").repeated(5000) + QByteArray("</a>").repeated(5000))
            << QStringLiteral("Die Antwort des Comic-Dienstes ist tiefer als 200 Ebenen verschachtelt und wird abgelehnt")
            << false << false;
        QTest::newRow("body over the size limit")
            << 200 << QByteArray("OK") << QByteArray("text/xml")
            << comicAnswer("<Titel1>" + QByteArray(5 * 1024 * 1024, 'x') + "</Titel1>")
            << QStringLiteral("Die Antwort des Comic-Dienstes ist größer als 4 MB; der Empfang wurde "
                              "abgebrochen - URL:%URL%")
            << false << true;
    }
    void failures()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, reason);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        QFETCH(bool, pattern);
        QFETCH(bool, freshConnection);

        SoapTestServer server;
        ScriptedResponse scripted{status, reason, {}, body};
        if (!contentType.isEmpty())
            scripted.headers = {{"Content-Type", contentType}};
        server.enqueue(scripted);
        server.enqueue(comicAnswer(tenElements()));
        const auto port = NewComicsPort(server.url());

        QStringList results(10, QStringLiteral("unverändert"));
        const QString error = callAndCatch([&] {
            port->ComicByISBN("1", results[0], results[1], results[2], results[3], results[4], results[5],
                              results[6], results[7], results[8], results[9]);
        });
        if (pattern)
            QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(message)).match(error).hasMatch(),
                     qPrintable(error));
        else
            QCOMPARE(error, message.replace("%URL%", server.url()));
        QCOMPARE(results, QStringList(10, QStringLiteral("unverändert")));

        // The same client goes on working, on a new connection only after a broken exchange.
        QCOMPARE(comicByIsbn(*port, "2"), kTen);
        QCOMPARE(server.connections, freshConnection ? 2 : 1);
        QCOMPARE(server.requests.last().connection, freshConnection ? 2 : 1);
    }

    void faultKeepsItsDetails()
    {
        SoapTestServer server;
        server.enqueue(ScriptedResponse{
            500, "Internal Server Error", {{"Content-Type", "text/xml"}},
            soapEnvelope("<SOAP-ENV:Fault><faultcode>SOAP-ENV:Client</faultcode><faultactor>urn:lager</faultactor>"
                         "<faultstring>Kein Comic</faultstring><detail><grund>leer</grund></detail></SOAP-ENV:Fault>")});
        const auto port = NewComicsPort(server.url());
        try {
            comicByIsbn(*port, "1");
            QFAIL("no fault raised");
        } catch (const SoapFault& fault) {
            QCOMPARE(fault.message(), QStringLiteral("Kein Comic"));
            QCOMPARE(fault.faultCode(), QStringLiteral("SOAP-ENV:Client"));
            QCOMPARE(fault.faultActor(), QStringLiteral("urn:lager"));
            QVERIFY2(fault.detail().contains("<grund>leer</grund>"), qPrintable(fault.detail()));
        }
    }

    void resultElement_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("expected");

        QTest::newRow("single child of any name") << QByteArray("<r><Titel>Tim</Titel></r>") << "Tim";
        QTest::newRow("return among others")
            << QByteArray("<r><info>i</info><RETURN>Tim</RETURN><Result>zweites</Result></r>") << "Tim";
        QTest::newRow("result in any case") << QByteArray("<r><a/><result>Tim</result></r>") << "Tim";
        QTest::newRow("no answer element is no error") << QByteArray() << "";
        QTest::newRow("missing result")
            << QByteArray("<r><a>1</a><b>2</b></r>")
            << "SOAP-Antwortpaket: Ergebniselement erwartet, \"<r><a>1</a><b>2</b></r>\" gefunden";
    }
    void resultElement()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, expected);

        SoapTestServer server;
        server.enqueue(soapEnvelope(answer));
        server.enqueue(soapEnvelope(answer));
        const auto port = NewComicsPort(server.url());
        QString title;
        const QString error = callAndCatch([&] { title = port->TitleByISBN("1"); });
        QCOMPARE(error == "<no error>" ? title : error, expected);
        const QString loginError = callAndCatch([&] { title = port->Login("a", "b"); });
        QCOMPARE(loginError == "<no error>" ? title : loginError, expected);
    }

    void oneConnectionPerClient()
    {
        SoapTestServer server;
        for (int i = 0; i < 3; ++i)
            server.enqueue(comicAnswer(tenElements()));
        auto first = NewComicsPort(server.url());
        comicByIsbn(*first, "1");
        comicByIsbn(*first, "2");
        QCOMPARE(server.connections, 1);

        auto second = NewComicsPort(server.url());
        comicByIsbn(*second, "3");
        QCOMPARE(server.connections, 2);
        QCOMPARE(server.requests.last().connection, 2);

        // Releasing the last reference closes the client's connection.
        QCOMPARE(server.disconnects, 0);
        first.reset();
        QTRY_COMPARE(server.disconnects, 1);
    }

    void connectionRefused()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const QString url = QStringLiteral("http://127.0.0.1:%1/soaptest/server.php").arg(probe.serverPort());
        probe.close();

        const auto port = NewComicsPort(url);
        QCOMPARE(callAndCatch([&] { comicByIsbn(*port, "1"); }),
                 QStringLiteral("Connection refused - URL:%1 - SOAPAction:urn:Comics#clservice#ComicByISBN").arg(url));
    }

    void silentServerTimesOut()
    {
        // Accepts the connection and never answers.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const QString url = QStringLiteral("http://127.0.0.1:%1/soaptest/server.php").arg(silent.serverPort());
        auto client = std::make_shared<ComicsClient>();
        client->setTimeout(300);
        const auto port = NewComicsPort(url, client);
        QCOMPARE(callAndCatch([&] { comicByIsbn(*port, "1"); }),
                 QStringLiteral("Der Comic-Dienst hat 0,3 Sekunden lang nichts gesendet; die Verbindung wurde "
                                "getrennt - URL:%1 - SOAPAction:urn:Comics#clservice#ComicByISBN")
                     .arg(url));
    }

    // An answer broken off on the way is a failure of the transport, never
    // an answer; the next call starts on a fresh connection.
    void brokenTransferIsNoAnswer_data()
    {
        QTest::addColumn<int>("delivery");
        QTest::addColumn<QString>("message"); // a pattern; %URL% stands for the endpoint
        QTest::newRow("shorter than announced") << int(ScriptedResponse::Delivery::CutOff) << QStringLiteral(".+");
        QTest::newRow("chunked, connection lost mid-body") << int(ScriptedResponse::Delivery::ChunkedCutOff)
                                                           << QStringLiteral(".+");
        QTest::newRow("chunked, ends mid-document")
            << int(ScriptedResponse::Delivery::ChunkedShort)
            << QStringLiteral("Die Antwort des Comic-Dienstes brach mitten im Text ab; die Verbindung wurde getrennt");
    }
    void brokenTransferIsNoAnswer()
    {
        QFETCH(int, delivery);
        QFETCH(QString, message);
        SoapTestServer server;
        ScriptedResponse broken;
        broken.body = comicAnswer(tenElements());
        broken.delivery = ScriptedResponse::Delivery(delivery);
        server.enqueue(broken);
        server.enqueue(comicAnswer(tenElements()));
        const auto port = NewComicsPort(server.url());

        QStringList results(10, QStringLiteral("unverändert"));
        const QString error = callAndCatch([&] {
            port->ComicByISBN("1", results[0], results[1], results[2], results[3], results[4], results[5],
                              results[6], results[7], results[8], results[9]);
        });
        const QString pattern = message + QStringLiteral(" - URL:%1 - SOAPAction:urn:Comics#clservice#ComicByISBN")
                                              .arg(QRegularExpression::escape(server.url()));
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(error).hasMatch(),
                 qPrintable(error));
        QCOMPARE(results, QStringList(10, QStringLiteral("unverändert")));
        QCOMPARE(comicByIsbn(*port, "2"), kTen);
        QCOMPARE(server.requests.size(), 2);
        QVERIFY(server.requests.last().connection != server.requests.first().connection);
    }

    // The limit is on silence: an answer that keeps coming, slowly, takes
    // longer than the limit in all and still arrives whole.
    void slowButSteadyAnswerArrives()
    {
        SoapTestServer server;
        ScriptedResponse slow;
        slow.body = comicAnswer(tenElements());
        slow.delivery = ScriptedResponse::Delivery::Trickle;
        slow.pieceBytes = 16;
        slow.pauseMs = 50; // far below the limit, so a busy machine does not matter
        server.enqueue(slow);
        auto client = std::make_shared<ComicsClient>();
        client->setTimeout(1500);
        QVERIFY((slow.body.size() + 150) / slow.pieceBytes * slow.pauseMs > 1500); // longer than the limit in all
        const auto port = NewComicsPort(server.url(), client);
        QCOMPARE(comicByIsbn(*port, "1"), kTen);
    }

    void endpointSchemes_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("ftp") << "ftp://127.0.0.1/soap" << false;
        QTest::newRow("host without scheme") << "localhost:8080/soaptest/server.php" << false;
        QTest::newRow("no scheme at all") << "/soaptest/server.php" << false;
        QTest::newRow("file") << "file:///tmp/server.php" << false;
        QTest::newRow("http") << "http://127.0.0.1/soaptest/server.php" << true;
        QTest::newRow("HTTPS in capitals") << "HTTPS://127.0.0.1/soaptest/server.php" << true;
    }
    void endpointSchemes()
    {
        QFETCH(QString, url);
        QFETCH(bool, accepted);

        const QString error = callAndCatch([&] { NewComicsPort(url); });
        QCOMPARE(error, accepted ? QStringLiteral("<no error>")
                                 : QStringLiteral("Ungültige URL '%1' - unterstützt nur Schemata 'http' und 'https'")
                                       .arg(url));
    }

    void defaultEndpoint()
    {
        QCOMPARE(defaultComicsUrl(), QStringLiteral("http://localhost/soaptest/server.php"));

        SoapTestServer server;
        server.enqueue(comicAnswer(tenElements()));
        qputenv("STRIPOTHEK_COMICS_URL", server.url("/andere/stelle.php").toUtf8());
        const auto port = NewComicsPort();
        qunsetenv("STRIPOTHEK_COMICS_URL");
        QCOMPARE(comicByIsbn(*port, "1"), kTen);
        QCOMPARE(server.requests.first().requestLine, QByteArray("POST /andere/stelle.php HTTP/1.1"));
    }

    void existingClientIsReused()
    {
        SoapTestServer first;
        SoapTestServer second;
        auto client = std::make_shared<ComicsClient>();
        const auto a = NewComicsPort(first.url(), client);
        const auto b = NewComicsPort(second.url(), client);
        QCOMPARE(a.get(), b.get());
        comicByIsbn(*a, "1");
        QCOMPARE(first.requests.size(), 0);
        QCOMPARE(second.requests.size(), 1);
    }

    void loginPrompt_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("user confirms") << true;
        QTest::newRow("user cancels") << false;
    }
    void loginPrompt()
    {
        QFETCH(bool, confirm);

        SoapTestServer server;
        server.enqueue(ScriptedResponse{401, "Unauthorized",
                                        {{"WWW-Authenticate", "Basic realm=\"Comics\""}, {"Content-Type", "text/html"}},
                                        "bitte anmelden"});
        server.enqueue(comicAnswer(tenElements()));
        const auto port = NewComicsPort(server.url());

        QString promptText;
        ModalWatcher watcher([&](QWidget* modal) {
            QCOMPARE(modal->objectName(), QStringLiteral("LoginPrompt"));
            promptText = modal->findChild<QLabel*>("labPrompt")->text();
            modal->findChild<QLineEdit*>("editUser")->setText("anna");
            modal->findChild<QLineEdit*>("editPassword")->setText("geheim");
            confirm ? static_cast<QDialog*>(modal)->accept() : static_cast<QDialog*>(modal)->reject();
        });
        bool aborted = false;
        QStringList results;
        try {
            results = comicByIsbn(*port, "1");
        } catch (const db::Abort&) {
            aborted = true;
        }
        QCOMPARE(promptText, QStringLiteral("Der Server „127.0.0.1“ verlangt eine Anmeldung."));
        QCOMPARE(aborted, !confirm);
        if (confirm) {
            QCOMPARE(results, kTen);
            QCOMPARE(server.requests.size(), 2);
            QCOMPARE(server.requests.last().header("Authorization"), "Basic " + QByteArray("anna:geheim").toBase64());
        } else {
            QCOMPARE(server.requests.size(), 1);
        }
    }

    void platformProxyIsUsed()
    {
        SoapTestServer proxy;
        proxy.enqueue(comicAnswer(tenElements()));
        qputenv("http_proxy", proxy.url({}).toUtf8());
        const auto port = NewComicsPort("http://comics.invalid/soaptest/server.php");
        const QStringList results = comicByIsbn(*port, "1");
        qunsetenv("http_proxy");
        QCOMPARE(results, kTen);
        QCOMPARE(proxy.requests.first().requestLine,
                 QByteArray("POST http://comics.invalid/soaptest/server.php HTTP/1.1"));
    }

    void certificates_data()
    {
        QTest::addColumn<QString>("serverCertificate");
        QTest::addColumn<bool>("trustTestAuthority");
        QTest::addColumn<QString>("message");

        const QString rejected = QStringLiteral("Das Zertifikat des Servers wurde abgelehnt: %1 - URL:%URL%");
        QTest::newRow("valid for 127.0.0.1") << "loopback.pem" << true << QString();
        QTest::newRow("unknown issuer") << "loopback.pem" << false
                                        << rejected.arg("der Aussteller des Zertifikats ist nicht vertrauenswürdig");
        QTest::newRow("name of another host") << "wrongname.pem" << true
                                              << rejected.arg("der Name im Zertifikat passt nicht zum Server");
        QTest::newRow("expired") << "expired.pem" << true << rejected.arg("das Zertifikat ist abgelaufen");
    }
    void certificates()
    {
        QFETCH(QString, serverCertificate);
        QFETCH(bool, trustTestAuthority);
        QFETCH(QString, message);
        if (!QSslSocket::supportsSsl())
            QSKIP("no TLS backend");

        const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
        const auto restore = qScopeGuard([&] { QSslConfiguration::setDefaultConfiguration(original); });
        if (trustTestAuthority) {
            QSslConfiguration trusting = original;
            trusting.addCaCertificates(certPath("ca.pem"));
            QSslConfiguration::setDefaultConfiguration(trusting);
        }

        SoapTestServer server(serverTls(serverCertificate.toLatin1().constData()));
        server.enqueue(comicAnswer(tenElements()));
        const auto port = NewComicsPort(server.url());
        const QString error = callAndCatch([&] { comicByIsbn(*port, "1"); });
        QCOMPARE(error, message.isEmpty() ? QStringLiteral("<no error>") : message.replace("%URL%", server.url()));
        QCOMPARE(server.requests.size(), message.isEmpty() ? 1 : 0);
    }
};

QTEST_MAIN(ComicsPortTest)
#include "tst_comicsport.moc"
