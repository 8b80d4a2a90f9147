#include "ReportFixture.h"

#include <QProcess>
#include <QTemporaryDir>

// stripothek-db report as a script runs it: no display, a PDF or a reason.
class TestReportCli : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void report_data();
    void report();
};

namespace {
const QStringList kCollection{"series | A | Asterix | Egmont", "vol | A | 1 | Asterix der Gallier | own",
                              "vol | A | 2..90 | Band %1 |", "series | B | Lange Reihe | Egmont",
                              "vol | B | 1..80 | Band %1 | own"};
const QStringList kNoCopies{"series | A | Asterix | Egmont", "vol | A | 1..3 | Asterix %1 |"};
} // namespace

void TestReportCli::report_data()
{
    QTest::addColumn<QStringList>("collection"); // empty: no database at all
    QTest::addColumn<QStringList>("arguments");  // DIR: the collection, PDF: the file
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("pages"); // 0: the file keeps what it held before

    QTest::newRow("missing") << kCollection << QStringList{"report", "missing", "DIR", "--pdf", "PDF"} << 0
                             << "(2 Seiten)" << 2;
    QTest::newRow("missing, a gap of 199,999 volumes")
        << QStringList{"series | A | Asterix | Egmont", "vol | A | 1 | Eins | own", "vol | A | 200001 | Zwei | own",
                       "series | B | Zweite | Egmont", "vol | B | 1..2 | Band %1 |"}
        << QStringList{"report", "missing", "DIR", "--pdf", "PDF"} << 0 << "(1 Seite)" << 1;
    QTest::newRow("list") << kCollection << QStringList{"report", "list", "DIR", "--pdf", "PDF"} << 0 << "(2 Seiten)"
                          << 2;
    QTest::newRow("no own copies") << kNoCopies << QStringList{"report", "list", "DIR", "--pdf", "PDF"} << 1
                                   << "Es sind keine eigenen Comics vorhanden!" << 0;
    QTest::newRow("no database") << QStringList{} << QStringList{"report", "missing", "DIR", "--pdf", "PDF"} << 1
                                 << "stripothek-db create" << 0;
    QTest::newRow("no kind") << kCollection << QStringList{"report"} << 2 << "Es fehlt die Art des Reports" << 0;
    QTest::newRow("unknown kind") << kCollection << QStringList{"report", "alles", "DIR", "--pdf", "PDF"} << 2
                                  << "Unbekannter Report „alles“" << 0;
    QTest::newRow("no file") << kCollection << QStringList{"report", "list", "DIR"} << 2 << "--pdf" << 0;
    QTest::newRow("pdf for create") << QStringList{} << QStringList{"create", "DIR", "--pdf", "PDF"} << 2
                                    << "Die Option --pdf gilt nur für report" << 0;
}

void TestReportCli::report()
{
    QFETCH(QStringList, collection);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(int, pages);

    QTemporaryDir dir;
    if (!collection.isEmpty())
        writeCollection(dir.path(), collection);
    const QString pdf = dir.filePath(QStringLiteral("bericht.pdf"));
    {
        QFile before(pdf);
        QVERIFY(before.open(QIODevice::WriteOnly));
        before.write("alt");
    }
    arguments.replaceInStrings(QStringLiteral("DIR"), dir.path());
    arguments.replaceInStrings(QStringLiteral("PDF"), pdf);

    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(STRIPOTHEK_DB_TOOL), arguments);
    QVERIFY(tool.waitForFinished(120000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    const QString out = QString::fromUtf8(tool.readAllStandardOutput());
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    QCOMPARE(tool.exitCode(), exitCode);
    QVERIFY2((exitCode == 0 ? out : err).contains(message), qPrintable(out + err));

    QFile written(pdf);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray content = written.readAll();
    if (pages == 0) {
        QCOMPARE(content, QByteArray("alt"));
        return;
    }
    QVERIFY(content.startsWith("%PDF-"));
    QCOMPARE(content.split('\n').count("/Type /Page"), pages);
}

QTEST_GUILESS_MAIN(TestReportCli)
#include "tst_reportcli.moc"
