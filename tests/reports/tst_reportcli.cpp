#include "ReportFixture.h"
#include "../common/FileRights.h"

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
    QTest::addColumn<bool>("onlyReadable"); // the collection's folder and file, for another user

    QTest::newRow("missing") << kCollection << QStringList{"report", "missing", "DIR", "--pdf", "PDF"} << 0
                             << "(2 Seiten)" << 2 << false;
    QTest::newRow("missing, a gap of 199,999 volumes")
        << QStringList{"series | A | Asterix | Egmont", "vol | A | 1 | Eins | own", "vol | A | 200001 | Zwei | own",
                       "series | B | Zweite | Egmont", "vol | B | 1..2 | Band %1 |"}
        << QStringList{"report", "missing", "DIR", "--pdf", "PDF"} << 0 << "(1 Seite)" << 1 << false;
    QTest::newRow("list") << kCollection << QStringList{"report", "list", "DIR", "--pdf", "PDF"} << 0 << "(2 Seiten)"
                          << 2 << false;
    QTest::newRow("no own copies") << kNoCopies << QStringList{"report", "list", "DIR", "--pdf", "PDF"} << 1
                                   << "Es sind keine eigenen Comics vorhanden!" << 0 << false;
    QTest::newRow("no database") << QStringList{} << QStringList{"report", "missing", "DIR", "--pdf", "PDF"} << 1
                                 << "Eine neue, leere Sammlung legt dort der Befehl „stripothek-db create DIR“ an."
                                 << 0 << false;
    QTest::newRow("no kind") << kCollection << QStringList{"report"} << 2 << "Es fehlt die Art des Reports" << 0 << false;
    QTest::newRow("unknown kind") << kCollection << QStringList{"report", "alles", "DIR", "--pdf", "PDF"} << 2
                                  << "Unbekannter Report „alles“" << 0 << false;
    QTest::newRow("no file") << kCollection << QStringList{"report", "list", "DIR"} << 2 << "--pdf" << 0 << false;
    QTest::newRow("missing, collection only readable")
        << kCollection << QStringList{"report", "missing", "DIR", "--pdf", "PDF"} << 0 << "(2 Seiten)" << 2 << true;
    QTest::newRow("list, collection only readable")
        << kCollection << QStringList{"report", "list", "DIR", "--pdf", "PDF"} << 0 << "(2 Seiten)" << 2 << true;
    QTest::newRow("pdf is a folder") << kCollection << QStringList{"report", "list", "DIR", "--pdf", "DIR"} << 1
                                     << "„DIR“ lässt sich nicht schreiben: Das ist ein Ordner, keine Datei" << 0
                                     << false;
    QTest::newRow("pdf where the user may not write")
        << kCollection << QStringList{"report", "list", "DIR", "--pdf", "DIR/database/x.pdf"} << 1
        << "Die Datei „DIR/database/x.pdf“ lässt sich nicht schreiben: In den Ordner „DIR/database“ dürfen Sie nicht "
           "schreiben (Permission denied)."
        << 0 << true;
    QTest::newRow("pdf for create") << QStringList{} << QStringList{"create", "DIR", "--pdf", "PDF"} << 2
                                    << "Die Option --pdf gilt nur für report" << 0 << false;
}

void TestReportCli::report()
{
    QFETCH(QStringList, collection);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(int, pages);
    QFETCH(bool, onlyReadable);

    QTemporaryDir dir;
    if (!collection.isEmpty())
        writeCollection(dir.path(), collection);
    const QString pdf = dir.filePath(QStringLiteral("bericht.pdf"));
    {
        QFile before(pdf);
        QVERIFY(before.open(QIODevice::WriteOnly));
        before.write("alt");
    }
    using P = QFileDevice;
    const auto readable = P::ReadOwner | P::ReadGroup | P::ReadOther;
    const auto searchable = readable | P::ExeOwner | P::ExeGroup | P::ExeOther;
    const QString folder = dir.filePath(QStringLiteral("database"));
    const auto restore = qScopeGuard([&] { QFile::setPermissions(folder, searchable | P::WriteOwner); });
    QProcess tool;
    if (onlyReadable) {
        // A CD or a folder of someone else's; the PDF goes where the user may write.
        QVERIFY(QFile::setPermissions(dir.path(), searchable | P::WriteOwner | P::WriteGroup | P::WriteOther));
        QVERIFY(QFile::setPermissions(pdf, readable | P::WriteOwner | P::WriteGroup | P::WriteOther));
        QVERIFY(QFile::setPermissions(folder, searchable));
        QVERIFY(QFile::setPermissions(folder + QStringLiteral("/stripothek.db"), readable));
        test::runAsAnotherUser(tool);
    }
    arguments.replaceInStrings(QStringLiteral("DIR"), dir.path());
    message.replace(QStringLiteral("DIR"), dir.path());
    arguments.replaceInStrings(QStringLiteral("PDF"), pdf);

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
    // Nothing is left beside the database, whoever may write there.
    if (!collection.isEmpty())
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("stripothek.db")});
}

QTEST_GUILESS_MAIN(TestReportCli)
#include "tst_reportcli.moc"
