#include "CollectionCheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// Runs the built stripothek-db as a user would, and judges it by exit code,
// messages and the file it leaves behind.
class ToolTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_shared; // the demo collection "demo", its export "ex", "kurz" with a file cut short

    struct Run {
        int exitCode = -1;
        QString out, err;
    };

    static Run run(const QStringList& arguments)
    {
        QProcess p;
        p.start(QStringLiteral(STRIPOTHEK_DB_TOOL), arguments);
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
            return {};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

    static QString dbFile(const QString& dir) { return dir + QStringLiteral("/database/stripothek.db"); }

    static QByteArray fingerprint(const QString& file)
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }

private slots:
    void initTestCase()
    {
        const QString base = m_shared.path() + QLatin1Char('/');
        QCOMPARE(run({QStringLiteral("demo"), base + QStringLiteral("demo")}).exitCode, 0);
        QCOMPARE(run({QStringLiteral("export"), base + QStringLiteral("demo"), base + QStringLiteral("ex")}).exitCode, 0);
        QVERIFY(QDir().mkpath(base + QStringLiteral("kurz")));
        QVERIFY(QFile::copy(base + QStringLiteral("ex/serverstripothek.xml"), base + QStringLiteral("kurz/serverstripothek.xml")));
        QFile cut(base + QStringLiteral("kurz/serverstripothek.xml"));
        QVERIFY(cut.resize(cut.size() / 2));
    }

    void helpDescribesAllCommands()
    {
        const Run r = run({QStringLiteral("--help")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        for (const char* word : {"create", "demo", "generate", "--volumes", "database/stripothek.db"})
            QVERIFY2(r.out.contains(QLatin1String(word)), word);
    }

    void wrongCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        // "DIR" stands for a fresh temporary directory.
        QTest::newRow("nothing") << QStringList{} << "Es fehlt der Befehl";
        QTest::newRow("unknown command") << QStringList{"erzeugen", "DIR"} << "Unbekannter Befehl „erzeugen“";
        QTest::newRow("no directory") << QStringList{"create"} << "Es fehlt das Verzeichnis";
        QTest::newRow("empty directory") << QStringList{"demo", ""} << "Es fehlt das Verzeichnis";
        QTest::newRow("too many") << QStringList{"create", "DIR", "DIR2"} << "Zu viele Argumente";
        QTest::newRow("volumes not a number") << QStringList{"generate", "DIR", "--volumes", "viele"} << "„viele“";
        QTest::newRow("volumes zero") << QStringList{"generate", "DIR", "--volumes", "0"} << "„0“";
        QTest::newRow("volumes negative") << QStringList{"generate", "DIR", "--volumes=-5"} << "„-5“";
        QTest::newRow("volumes too many") << QStringList{"generate", "DIR", "--volumes", "10000001"} << "„10000001“";
        QTest::newRow("volumes with decimals") << QStringList{"generate", "DIR", "--volumes", "1.5"} << "„1.5“";
        QTest::newRow("volumes without value") << QStringList{"generate", "DIR", "--volumes"} << "--volumes fehlt";
        QTest::newRow("volumes for create") << QStringList{"create", "DIR", "--volumes", "10"} << "nur für generate";
        QTest::newRow("unknown option") << QStringList{"create", "DIR", "--force"} << "Unbekannte Option „--force“";
        QTest::newRow("import-csv without file") << QStringList{"import-csv", "DIR"} << "Es fehlt die CSV-Datei";
        QTest::newRow("dry run for create") << QStringList{"create", "DIR", "--dry-run"} << "nur für import-csv";
    }

    void wrongCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QTemporaryDir dir;
        arguments.replaceInStrings(QStringLiteral("DIR"), dir.path());
        const Run r = run(arguments);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY2(r.err.section(QLatin1Char('\n'), 0, 0).endsWith(QLatin1Char('.')), qPrintable(r.err));
        QVERIFY2(r.err.contains(QLatin1String("--help")), qPrintable(r.err));
        QCOMPARE(r.out, QString());
        QVERIFY(!QFile::exists(dbFile(dir.path())));
    }

    void createsDatabase_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("create") << QStringList{"create"} << "Datenbank angelegt";
        QTest::newRow("demo") << QStringList{"demo"} << "Demo-Datenbank angelegt";
        QTest::newRow("generate") << QStringList{"generate", "--volumes", "60"} << "60 Bände";
    }

    void createsDatabase()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString work = dir.path() + QStringLiteral("/neu/sammlung"); // not there yet
        arguments.insert(1, work);
        const Run r = run(arguments);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        QVERIFY2(r.out.contains(message), qPrintable(r.out));
        QVERIFY2(r.out.contains(dbFile(work)), qPrintable(r.out));
        QVERIFY(QFile::exists(dbFile(work)));
        // Closed cleanly: the write-ahead log has been folded into the file.
        QVERIFY(!QFile::exists(dbFile(work) + QStringLiteral("-wal")));
        VERIFY_CONSISTENT(dbFile(work));
    }

    void refusesExistingDatabase_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("create") << QStringList{"create"};
        QTest::newRow("demo") << QStringList{"demo"};
        QTest::newRow("generate") << QStringList{"generate", "--volumes", "10"};
    }

    void refusesExistingDatabase()
    {
        QFETCH(QStringList, arguments);
        QTemporaryDir dir;
        QCOMPARE(run({QStringLiteral("demo"), dir.path()}).exitCode, 0);
        const QByteArray before = fingerprint(dbFile(dir.path()));

        arguments.insert(1, dir.path());
        const Run r = run(arguments);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QLatin1String("existiert bereits")), qPrintable(r.err));
        QVERIFY2(r.err.contains(dbFile(dir.path())), qPrintable(r.err));
        QCOMPARE(r.out, QString());
        QCOMPARE(fingerprint(dbFile(dir.path())), before);
    }

    void unwritablePlace_data()
    {
        QTest::addColumn<QString>("blocker"); // a plain file where a directory is needed
        QTest::addColumn<QString>("workDir");
        QTest::newRow("working directory is a file") << "sammlung" << "sammlung";
        QTest::newRow("database directory is a file") << "sammlung/database" << "sammlung";
        QTest::newRow("below a file") << "sammlung" << "sammlung/unten/oben";
    }

    void unwritablePlace()
    {
        QFETCH(QString, blocker);
        QFETCH(QString, workDir);
        // A file in the way stops root too, unlike missing write permissions.
        QTemporaryDir dir;
        const QString blockerPath = dir.path() + QLatin1Char('/') + blocker;
        QVERIFY(QDir().mkpath(QFileInfo(blockerPath).path()));
        QFile f(blockerPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("kein Verzeichnis");
        f.close();

        const Run r = run({QStringLiteral("create"), dir.path() + QLatin1Char('/') + workDir});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("kann nicht angelegt werden: „") + blockerPath
                                    + QStringLiteral("“ ist eine Datei, kein Ordner.\n")),
                 qPrintable(r.err));
        QCOMPARE(fingerprint(blockerPath), QCryptographicHash::hash("kein Verzeichnis", QCryptographicHash::Sha256));
    }

    void exportAndImportMessages_data()
    {
        QTest::addColumn<QStringList>("arguments"); // SRC: see m_shared; DIR: a fresh folder
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("export of a missing database") << QStringList{"export", "DIR/nichts", "DIR/neu/ziel"} << 1
                                                      << "„DIR/nichts/database/stripothek.db“ existiert nicht";
        QTest::newRow("export into a file") << QStringList{"export", "SRC/demo", "SRC/ex/keygen.xml"} << 1
                                            << "„SRC/ex/keygen.xml“ ist eine Datei, kein Verzeichnis";
        QTest::newRow("import of a folder") << QStringList{"import", "DIR/neu/db", "SRC/ex"} << 1
                                            << "„SRC/ex“ ist ein Verzeichnis, keine Importdatei";
        QTest::newRow("import of a missing file") << QStringList{"import", "DIR/neu/db", "SRC/ex/keygen.xml", "DIR/autoren.xml"}
                                                  << 1 << "„DIR/autoren.xml“ existiert nicht";
        QTest::newRow("import of a file cut short") << QStringList{"import", "DIR/neu/db", "SRC/kurz/serverstripothek.xml"}
                                                    << 1 << "Die Datei endet vorzeitig";
        QTest::newRow("export") << QStringList{"export", "SRC/demo", "DIR/neu/ziel"} << 0
                                << "13 Tabellen nach „DIR/neu/ziel“ exportiert.";
        QTest::newRow("import") << QStringList{"import", "DIR/neu/db", "SRC/ex/keygen.xml"} << 0
                                << "„DIR/neu/db/database/stripothek.db“ aus 1 Exportdatei angelegt.";
    }

    // Said in German, ending with a full stop; a refused command makes no folder.
    void exportAndImportMessages()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        arguments.replaceInStrings(QStringLiteral("SRC"), m_shared.path()).replaceInStrings(QStringLiteral("DIR"), dir.path());
        message.replace(QStringLiteral("SRC"), m_shared.path()).replace(QStringLiteral("DIR"), dir.path());
        const Run r = run(arguments);
        QCOMPARE(r.exitCode, exitCode);
        const QString said = exitCode == 0 ? r.out : r.err;
        QVERIFY2(said.contains(message), qPrintable(said));
        QVERIFY2(said.endsWith(QLatin1String(".\n")), qPrintable(said));
        QCOMPARE(exitCode == 0 ? r.err : r.out, QString());
        if (exitCode != 0)
            QVERIFY(!QFileInfo::exists(dir.path() + QStringLiteral("/neu")));
    }

    void search_data()
    {
        QTest::addColumn<QStringList>("arguments"); // SRC: see m_shared; DIR: a fresh folder
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // how standard output begins when it worked, else in standard error
        QTest::addColumn<int>("lines");
        QTest::newRow("one volume") << QStringList{"search", "SRC/demo", "helgoland"} << 0
                                    << "Kapitän Möwe\t1\tSturm über Helgoland\t" << 1;
        QTest::newRow("a series, in its order") << QStringList{"search", "SRC/demo", "kapitan mowe"} << 0
                                                << "Kapitän Möwe\t1\tSturm über Helgoland\t" << 6;
        QTest::newRow("nothing found") << QStringList{"search", "SRC/demo", "\"xylophon\""} << 0 << "" << 0;
        QTest::newRow("no text") << QStringList{"search", "SRC/demo"} << 2 << "Es fehlt der Text" << 0;
        QTest::newRow("no database") << QStringList{"search", "DIR/nichts", "x"} << 1
                                     << "„DIR/nichts/database/stripothek.db“ existiert nicht." << 0;
    }

    void search()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(int, lines);
        QTemporaryDir dir;
        arguments.replaceInStrings(QStringLiteral("SRC"), m_shared.path()).replaceInStrings(QStringLiteral("DIR"), dir.path());
        said.replace(QStringLiteral("DIR"), dir.path());
        const Run r = run(arguments);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(exitCode == 0 ? r.out.left(said.size()) == said : r.err.contains(said), qPrintable(r.out + r.err));
        if (exitCode == 0) {
            QCOMPARE(r.out.count(QLatin1Char('\n')), lines);
            QCOMPARE(r.err, QString());
        }
    }

    void csvImport_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("dryRun");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("trial run") << "csvstore/data/kasse-1252.csv" << true << 0 << "Probelauf: 4 Bände, 2 neue Serien";
        QTest::newRow("import") << "csvstore/data/kasse-1252.csv" << false << 0 << "Importiert: 4 Bände, 2 neue Serien";
        QTest::newRow("a bad row") << "csvimport/data/excel-de-1252.csv" << false << 1
                                   << "Nichts importiert: 1 Zeile ist fehlerhaft";
    }

    // Only an import that goes through changes the collection, and only after
    // a checked backup of it.
    void csvImport()
    {
        QFETCH(QString, file);
        QFETCH(bool, dryRun);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QCOMPARE(run({QStringLiteral("demo"), dir.path()}).exitCode, 0);
        const QByteArray before = fingerprint(dbFile(dir.path()));
        QStringList arguments{QStringLiteral("import-csv"), dir.path(), QStringLiteral(TESTS_DIR "/") + file};
        if (dryRun)
            arguments << QStringLiteral("--dry-run");
        const Run r = run(arguments);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2((r.out + r.err).contains(message), qPrintable(r.out + r.err));
        const bool stored = exitCode == 0 && !dryRun;
        QCOMPARE(fingerprint(dbFile(dir.path())) != before, stored);
        QCOMPARE(QDir(dir.path() + QStringLiteral("/database/Sicherungen")).entryList({QStringLiteral("*.db")}).size(),
                 stored ? 1 : 0);
    }

    // A run killed while it builds leaves its file under a hidden name; the
    // next run that makes a database there removes it, also when it fails.
    void killedRunIsClearedByTheNext()
    {
        QTemporaryDir dir;
        const QString work = dir.path() + QStringLiteral("/sammlung");
        const QDir database(work + QStringLiteral("/database"));
        const auto killWhileBuilding = [&] {
            QProcess generate;
            generate.start(QStringLiteral(STRIPOTHEK_DB_TOOL),
                           {QStringLiteral("generate"), work, QStringLiteral("--volumes"), QStringLiteral("1000000")});
            QTRY_VERIFY_WITH_TIMEOUT(
                !database.entryList({QStringLiteral(".stripothek-im-aufbau-*")}, QDir::Files | QDir::Hidden).isEmpty(),
                60000);
            generate.kill();
            QVERIFY(generate.waitForFinished(60000));
        };

        killWhileBuilding();
        const Run refused = run({QStringLiteral("import"), work, m_shared.path() + QStringLiteral("/kurz/serverstripothek.xml")});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(!QFileInfo::exists(database.path()), qPrintable(database.entryList(QDir::Hidden | QDir::Files).join(' ')));

        killWhileBuilding();
        QCOMPARE(run({QStringLiteral("generate"), work, QStringLiteral("--volumes"), QStringLiteral("10")}).exitCode, 0);
        QCOMPARE(database.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("stripothek.db")});
    }

    // Where the file system has no unnamed temporary files, a killed export
    // leaves "tabelle.xml.AbC123" beside its files; the next export removes them.
    void exportRemovesWhatAKilledExportLeft()
    {
        QTemporaryDir dir;
        for (const char* name : {"autoren.xml.Ab12Cd", "autoren.xml.bak", "autoren.xml.Ab12C"}) {
            QFile f(dir.path() + QLatin1Char('/') + QLatin1String(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(run({QStringLiteral("export"), m_shared.path() + QStringLiteral("/demo"), dir.path()}).exitCode, 0);
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("autoren.*")}, QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral("autoren.xml"), QStringLiteral("autoren.xml.Ab12C"),
                              QStringLiteral("autoren.xml.bak")}));
    }

    // The large collection is made to measure the engine: its proportions must
    // be those of a real collection, and the program must be able to go on
    // adding rows to it.
    void generatedCollectionHasRealisticProportions()
    {
        QTemporaryDir dir;
        const int volumes = 3000;
        const Run r = run({QStringLiteral("generate"), dir.path(), QStringLiteral("--volumes"), QString::number(volumes)});
        QCOMPARE(r.exitCode, 0);
        const QString file = dbFile(dir.path());
        VERIFY_CONSISTENT(file);

        CollectionReader db(file);
        QCOMPARE(db.count(QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK")), qint64(volumes));
        const auto perVolume = [&](const char* table) {
            return double(db.count(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table)))) / volumes;
        };
        const double copies = perVolume("LOKALESTRIPOTHEK");
        const double assignments = perVolume("COMIC2AUTOR");
        const double editions = perVolume("AUFLAGEN");
        QVERIFY2(copies > 1.35 && copies < 1.65, qPrintable(QString::number(copies)));
        QVERIFY2(assignments > 2.3 && assignments < 2.7, qPrintable(QString::number(assignments)));
        QVERIFY2(editions > 1.12 && editions < 1.28, qPrintable(QString::number(editions)));
        const qint64 series = db.count(QStringLiteral("SELECT count(*) FROM SERIEN"));
        QVERIFY2(series >= volumes / 40 && series <= volumes / 5, qPrintable(QString::number(series)));
        QVERIFY(db.count(QStringLiteral("SELECT count(*) FROM AUTOREN")) >= volumes / 20);

        // What the overview filter and the missing-volumes report look for.
        QVERIFY(db.count(QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLFEHLT = 1")) > volumes / 100);
        QVERIFY(db.count(QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLZUKAUFEN = 1")) > volumes / 100);
        QVERIFY(db.count(QStringLiteral("SELECT count(*) FROM (SELECT SCLSERIEID FROM SERVERSTRIPOTHEK "
                                        "WHERE SCLSERIEID IS NOT NULL GROUP BY SCLSERIEID HAVING max(SCLBAND) > count(*))"))
                > series / 10);
        QVERIFY(db.count(QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLSERIEID IS NULL")) > 0);
        QVERIFY(db.count(QStringLiteral("SELECT count(*) FROM AUFLAGEN WHERE ALWG = 'DM'")) > 0);
        QVERIFY(db.count(QStringLiteral("SELECT count(*) FROM AUFLAGEN WHERE ALWG = '€'")) > 0);
        // Series names are what the overview sorts by; most must be distinct.
        QVERIFY(db.count(QStringLiteral("SELECT count(DISTINCT SRNAME) FROM SERIEN")) > series * 9 / 10);
    }
};

QTEST_GUILESS_MAIN(ToolTest)
#include "ToolTest.moc"
