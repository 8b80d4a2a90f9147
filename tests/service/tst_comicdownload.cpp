#include "ModalWatcher.h"
#include "SoapTestServer.h"
#include "core/Command.h"
#include "service/ComicDownload.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

using service::menDownloadClick;
using service::TComicDownload;

namespace {

QByteArray answer(const QList<QPair<QByteArray, QString>>& elements)
{
    QByteArray children;
    for (const auto& [name, value] : elements)
        children += "<" + name + ">" + value.toHtmlEscaped().toUtf8() + "</" + name + ">";
    return soapEnvelope("<NS1:ComicByISBNResponse xmlns:NS1=\"urn:Comics\">" + children
                        + "</NS1:ComicByISBNResponse>");
}

const QStringList kFirst = {"Spirou und Fantasio", "Das Nest im Urwald", "", "Carlsen & Söhne", "Spirou",
                            "19", "64", "3551772192", "Comic", "Abenteuer"};

QByteArray firstAnswer()
{
    static const char* names[] = {"Titel1", "Titel2", "Titel3", "Verlag", "Serie",
                                  "Band", "Seiten", "ISBNNR", "Gruppe", "Sparte"};
    QList<QPair<QByteArray, QString>> elements;
    for (int i = 9; i >= 0; --i) // the service may send them in any order
        elements.append({names[i], kFirst[i]});
    return answer(elements);
}

// Lacks Titel2, Titel3, Seiten and Sparte; those lines stay empty.
const QStringList kSecond = {"Gaston", "", "", "Carlsen", "Gaston", "3", "", "3551012031", "Comic", ""};

QByteArray secondAnswer()
{
    return answer({{"Titel1", "Gaston"}, {"Verlag", "Carlsen"}, {"Serie", "Gaston"}, {"Band", "3"},
                   {"ISBNNR", "3551012031"}, {"Gruppe", "Comic"}});
}

QString memoOf(QWidget* dialog)
{
    return dialog->findChild<QPlainTextEdit*>("memoData")->toPlainText();
}

void search(QWidget* dialog)
{
    QTest::mouseClick(dialog->findChild<QPushButton*>("btnSearch"), Qt::LeftButton);
}

} // namespace

class ComicDownloadTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SoapTestServer> m_server;
    QStringList m_errors;
    ui::ErrorSink m_previousSink;

private slots:
    void init()
    {
        m_server = std::make_unique<SoapTestServer>();
        qputenv("STRIPOTHEK_COMICS_URL", m_server->url().toUtf8());
        m_errors.clear();
        m_previousSink = ui::setErrorSink([this](const QString& message) { m_errors.append(message); });
    }
    void cleanup()
    {
        ui::setErrorSink(std::move(m_previousSink));
        qunsetenv("STRIPOTHEK_COMICS_URL");
        m_server.reset();
    }

    void twoSearchesAppendTwentyLines()
    {
        m_server->enqueue(firstAnswer());
        m_server->enqueue(secondAnswer());
        ModalWatcher watcher;
        TComicDownload dialog(nullptr);
        QCOMPARE(memoOf(&dialog), QStringLiteral("memoData"));

        QTest::keyClicks(dialog.findChild<QLineEdit*>("editISBNNr"), "3-551-77219-2");
        search(&dialog);
        search(&dialog);

        QCOMPARE(memoOf(&dialog).split('\n'), QStringList{"memoData"} + kFirst + kSecond);
        QCOMPARE(m_errors, QStringList());
        QCOMPARE(watcher.messages.size(), 2);
        for (const QString& message : watcher.messages)
            QVERIFY2(QRegularExpression("^Dauer: \\d+$").match(message).hasMatch(), qPrintable(message));
        QCOMPARE(m_server->requests.size(), 2);
        QVERIFY(m_server->requests.first().body.contains("<isbn xsi:type=\"xsd:string\">3-551-77219-2</isbn>"));
        QCOMPARE(m_server->connections, 1);
    }

    void failingSearchAppendsNothing_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");

        QTest::newRow("http status") << 404 << QByteArray("weg") << "Not Found (404) - '%URL%'";
        QTest::newRow("soap fault") << 500
                                    << soapEnvelope("<SOAP-ENV:Fault><faultcode>SOAP-ENV:Server</faultcode>"
                                                    "<faultstring>ISBN unbekannt.</faultstring></SOAP-ENV:Fault>")
                                    << "ISBN unbekannt";
        QTest::newRow("not a SOAP envelope") << 200 << QByteArray("<ok/>")
                                             << "Dokumentelement http://schemas.xmlsoap.org/soap/envelope/:Envelope "
                                                "erwartet, :ok gefunden";
    }
    void failingSearchAppendsNothing()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);

        m_server->enqueue(firstAnswer());
        m_server->enqueue(ScriptedResponse{status, status == 200 ? "OK" : status == 404 ? "Not Found" : "Internal Server Error",
                                           {{"Content-Type", "text/xml"}}, body});
        m_server->enqueue(secondAnswer());
        ModalWatcher watcher;
        TComicDownload dialog(nullptr);

        search(&dialog);
        const QString afterFirst = memoOf(&dialog);
        search(&dialog);
        QCOMPARE(m_errors, QStringList{ui::withFullStop(message.replace("%URL%", m_server->url()))});
        QCOMPARE(memoOf(&dialog), afterFirst);
        QCOMPARE(watcher.messages.size(), 1); // no duration for the failed search

        search(&dialog);
        QCOMPARE(memoOf(&dialog).split('\n'), QStringList{"memoData"} + kFirst + kSecond);
        QCOMPARE(watcher.messages.size(), 2);
    }

    void titleAndSeriesChangeNothing()
    {
        ModalWatcher watcher;
        TComicDownload dialog(nullptr);
        QTest::keyClicks(dialog.findChild<QLineEdit*>("editISBNNr"), "3551772192");
        search(&dialog);
        QTest::keyClicks(dialog.findChild<QLineEdit*>("editTitel"), "Das Nest im Urwald");
        QTest::keyClicks(dialog.findChild<QLineEdit*>("editSerie"), "Spirou");
        search(&dialog);

        QCOMPARE(m_server->requests.size(), 2);
        QCOMPARE(m_server->requests.at(1).body, m_server->requests.at(0).body);
    }

    void enterDoesNotSearch()
    {
        ModalWatcher watcher; // a wrongly started search blocks until its answer, so the count below tells
        TComicDownload dialog(nullptr);
        dialog.show();
        auto* isbn = dialog.findChild<QLineEdit*>("editISBNNr");
        isbn->setFocus();
        QTest::keyClicks(isbn, "3551772192");
        QTest::keyClick(isbn, Qt::Key_Return);
        QCOMPARE(m_server->requests.size(), 0);
        QCOMPARE(watcher.messages, QStringList());
        QVERIFY(dialog.isVisible());
    }

    void menuCommandOpensFreshDialogs_data()
    {
        QTest::addColumn<bool>("withEscape");
        QTest::newRow("closed with Esc") << true;
        QTest::newRow("closed with Schließen") << false;
    }
    void menuCommandOpensFreshDialogs()
    {
        QFETCH(bool, withEscape);

        m_server->enqueue(firstAnswer());
        QMainWindow owner;
        owner.show();
        QList<QPointer<QWidget>> dialogs;
        QStringList memosAtOpening;
        int searches = 1;
        ModalWatcher watcher([&](QWidget* modal) {
            QCOMPARE(modal->metaObject()->className(), "service::TComicDownload");
            QCOMPARE(modal->parentWidget(), &owner);
            QCOMPARE(modal->windowTitle(), QStringLiteral("Comic - Download"));
            dialogs.append(modal);
            memosAtOpening.append(memoOf(modal));
            if (searches-- > 0)
                search(modal);
            if (withEscape)
                QTest::keyClick(modal, Qt::Key_Escape);
            else
                QTest::mouseClick(modal->findChild<QPushButton*>("Button1"), Qt::LeftButton);
        });

        menDownloadClick(&owner);
        menDownloadClick(&owner);

        QCOMPARE(dialogs.size(), 2);
        QCOMPARE(memosAtOpening, (QStringList{"memoData", "memoData"}));
        QVERIFY(dialogs.at(0).isNull()); // freed after closing
        QVERIFY(dialogs.at(1).isNull());
        QCOMPARE(m_server->connections, 1); // the second dialog never called
        QCOMPARE(watcher.messages.size(), 1);
        QCOMPARE(m_errors, QStringList());
    }

    void refusedEndpointShowsErrorInsteadOfDialog()
    {
        qputenv("STRIPOTHEK_COMICS_URL", "ftp://127.0.0.1/comics");
        int shown = 0;
        ModalWatcher watcher([&](QWidget* modal) {
            ++shown;
            modal->close();
        });
        QWidget owner;
        menDownloadClick(&owner);
        QCOMPARE(shown, 0);
        QCOMPARE(m_errors, QStringList{ui::withFullStop("Ungültige URL 'ftp://127.0.0.1/comics' - unterstützt nur "
                                                        "Schemata 'http' und 'https'")});
        QCOMPARE(owner.findChildren<QDialog*>().size(), 0);
    }
};

QTEST_MAIN(ComicDownloadTest)
#include "tst_comicdownload.moc"
