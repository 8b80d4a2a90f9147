#include "cli/Demo.h"
#include "database/Connection.h"
#include "service/ComicsPort.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

// "stripothek-db serve" as a user starts it: the built tool in a process of its own.
class ServeCommandTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_demo;

    struct Run {
        int exitCode = -1;
        QString out, err;
    };

    static Run run(const QStringList& arguments)
    {
        QProcess p;
        p.start(QStringLiteral(STRIPOTHEK_DB_TOOL), arguments);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
            return {};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

private slots:
    void initTestCase()
    {
        cli::createDemoDatabase(m_demo.path());
    }

    void servesUntilTerminated()
    {
        QProcess tool;
        tool.start(QStringLiteral(STRIPOTHEK_DB_TOOL), {"serve", m_demo.path(), "--port", "0"});
        QString out;
        QRegularExpressionMatch url;
        QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromUtf8(tool.readAllStandardOutput()),
                                  url = QRegularExpression("Erreichbar unter (\\S+)").match(out))
                                     .hasMatch(),
                                 20000);
        QVERIFY2(out.contains("STRIPOTHEK_COMICS_URL=" + url.captured(1)), qPrintable(out));

        db::Connection reader;
        reader.setDatabasePath(m_demo.path() + "/database");
        reader.connect();
        db::Statement stored(reader.handle(), "SELECT SCLISBNNR, SCLTITEL1 FROM SERVERSTRIPOTHEK"
                                              " WHERE SCLISBNNR <> '' ORDER BY rowid DESC LIMIT 1");
        QVERIFY(stored.step());
        QStringList v(10);
        service::NewComicsPort(url.captured(1))
            ->ComicByISBN(stored.column(0).toString(), v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]);
        QCOMPARE(v[7], stored.column(0).toString());
        QCOMPARE(v[0], stored.column(1).toString());

        tool.terminate();
        QVERIFY(tool.waitForFinished(20000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 0);
        QVERIFY(tool.readAllStandardOutput().contains("Comic-Dienst beendet."));
    }

    void helpTellsHowToUseIt()
    {
        const Run r = run({"serve", "--help"});
        QCOMPARE(r.exitCode, 0);
        for (const char* word : {"STRIPOTHEK_COMICS_URL", "--port", "--listen", "127.0.0.1", "/soaptest/server.php"})
            QVERIFY2(r.out.contains(QLatin1String(word)), word);
        QVERIFY(run({"--help"}).out.contains("serve VERZEICHNIS"));
    }

    void refusesToStart_data()
    {
        QTest::addColumn<QStringList>("arguments"); // DEMO: the demo collection, EMPTY: a directory without one
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no directory") << QStringList{"serve"} << 2 << "Es fehlt das Verzeichnis";
        QTest::newRow("port too large") << QStringList{"serve", "DEMO", "--port", "70000"} << 2 << "„70000“";
        QTest::newRow("port not a number") << QStringList{"serve", "DEMO", "--port", "acht"} << 2 << "„acht“";
        QTest::newRow("port without value") << QStringList{"serve", "DEMO", "--port"} << 2 << "--port fehlt";
        QTest::newRow("not an address") << QStringList{"serve", "DEMO", "--listen", "irgendwo"} << 2 << "„irgendwo“";
        QTest::newRow("port for create") << QStringList{"create", "EMPTY", "--port", "1"} << 2 << "nur für serve";
        QTest::newRow("no catalogue") << QStringList{"serve", "EMPTY", "--port", "0"} << 1 << "gibt es nicht. Eine neue, leere Sammlung legt dort der Befehl „stripothek-db create";
        QTest::newRow("port taken") << QStringList{"serve", "DEMO", "--port", "TAKEN"} << 1
                                   << "kann nicht an 127.0.0.1, Port TAKEN lauschen: Ein anderes Programm benutzt den "
                                      "Port schon; wählen Sie mit --port einen anderen (";
    }
    void refusesToStart()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir empty;
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost));
        arguments.replaceInStrings("DEMO", m_demo.path());
        arguments.replaceInStrings("EMPTY", empty.path());
        arguments.replaceInStrings("TAKEN", QString::number(taken.serverPort()));
        message.replace("TAKEN", QString::number(taken.serverPort()));
        const Run r = run(arguments);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(!QFile::exists(empty.path() + "/database"));
    }
};

QTEST_MAIN(ServeCommandTest)
#include "tst_servecommand.moc"
