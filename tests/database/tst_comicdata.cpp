#include "database/ComicData.h"
#include "core/Errors.h"
#include "database/Query.h"
#include "database/Schema.h"
#include "../common/FileRights.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <sqlite3.h>
#include <QtTest>

// The data module without any widget: opening, closing, keys and names.
class TestComicData : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    void open(ComicData& data)
    {
        data.dbConnection().setDatabasePath(m_dir.path() + "/database");
        data.OpenTables();
    }

private Q_SLOTS:
    void initTestCase()
    {
        db::schema::createDatabase(m_dir.path(), [](sqlite3*) {});
        ComicData data;
        open(data);
        auto add = [](db::Table& t, std::initializer_list<std::pair<const char*, QString>> values) {
            t.append();
            for (const auto& [field, value] : values)
                t.fieldByName(field).setAsString(value);
            t.post();
        };
        add(data.tblAutoren(), {{"ANAUTORID", "A1"}, {"ANNAME", "Goscinny"}});
        add(data.tblAutoren(), {{"ANAUTORID", "A2"}, {"ANNAME", "Uderzo"}});
        add(data.tblSerie(), {{"SRSERIENID", "S1"}, {"SRNAME", "Asterix"}});
        add(data.tblStripothek(), {{"SCLCOMICID", "C1"}, {"SCLTITEL1", "Eins"}, {"SCLSERIENTEXT", "Asterix"},
                                 {"SCLSERIEID", "S1"}, {"SCLBAND", "2"}});
        add(data.tblStripothek(), {{"SCLCOMICID", "C2"}, {"SCLTITEL1", "Zwei"}, {"SCLSERIENTEXT", "Asterix"},
                                 {"SCLBAND", "1"}});
        add(data.tblStripothek(), {{"SCLCOMICID", "C3"}, {"SCLTITEL1", "Drei"}, {"SCLSERIENTEXT", "Achille Talon"}});
        data.tblStripothek().locate("SCLCOMICID", "C1");
        add(data.tblComic2Autor(), {{"C2AID", "X1"}, {"C2AAUTORID", "A1"}});
        add(data.tblComic2Autor(), {{"C2AID", "X2"}, {"C2AAUTORID", "A9"}}); // names no author
        add(data.tblComic2Autor(), {{"C2AID", "X3"}, {"C2AAUTORID", ""}});
    }

    void opensInSeriesOrderOnFirstRow()
    {
        ComicData data;
        open(data);
        for (db::Table* t : data.tables())
            QVERIFY2(t->active(), qPrintable(t->name()));
        QCOMPARE(data.tblStripothek().indexName(), QString("NKSCLSERIENTEXT"));
        QCOMPARE(data.tblStripothek().fieldByName("SCLCOMICID").asString(), QString("C3"));
        data.tblStripothek().setIndexName("NKSCLTITEL1");
        data.tblStripothek().last();
        data.OpenTables(); // again: back to series order on the first row
        QCOMPARE(data.tblStripothek().indexName(), QString("NKSCLSERIENTEXT"));
        QCOMPARE(data.tblStripothek().recNo(), 1);
    }

    void referenceNames_data()
    {
        QTest::addColumn<QString>("assignment");
        QTest::addColumn<QString>("shown");
        QTest::newRow("known author") << "X1" << "Goscinny";
        QTest::newRow("dangling id shows nothing") << "X2" << "";
        QTest::newRow("empty id") << "X3" << "";
    }
    void referenceNames()
    {
        QFETCH(QString, assignment);
        QFETCH(QString, shown);
        ComicData data;
        open(data);
        QVERIFY(data.tblStripothek().locate("SCLCOMICID", "C1"));
        QVERIFY(data.tblComic2Autor().locate("C2AID", assignment));
        QCOMPARE(data.tblComic2Autor().fieldByName("C2AAUTORID").displayText(), shown);
    }

    void seriesNameAndRenameShowAtOnce()
    {
        ComicData data;
        open(data);
        QVERIFY(data.tblStripothek().locate("SCLCOMICID", "C1"));
        QCOMPARE(data.tblStripothek().fieldByName("SCLSERIEID").displayText(), QString("Asterix"));
        QVERIFY(data.tblSerie().locate("SRSERIENID", "S1"));
        data.tblSerie().edit();
        data.tblSerie().fieldByName("SRNAME").setAsString("Asterix der Gallier");
        data.tblSerie().post();
        QCOMPARE(data.tblStripothek().fieldByName("SCLSERIEID").displayText(), QString("Asterix der Gallier"));
        data.tblSerie().edit();
        data.tblSerie().fieldByName("SRNAME").setAsString("Asterix");
        data.tblSerie().post();
    }

    void filteredLookupTableHidesNames()
    {
        ComicData data;
        open(data);
        data.tblStripothek().locate("SCLCOMICID", "C1");
        data.tblComic2Autor().locate("C2AID", "X1");
        data.tblAutoren().setFilter("(ANNAME LIKE '*derz*')");
        data.tblAutoren().setFiltered(true);
        QCOMPARE(data.tblComic2Autor().fieldByName("C2AAUTORID").displayText(), QString());
        data.tblAutoren().setFiltered(false);
        QCOMPARE(data.tblComic2Autor().fieldByName("C2AAUTORID").displayText(), QString("Goscinny"));
    }

    void namesSurviveReopening()
    {
        ComicData data;
        open(data);
        data.CloseTables();
        data.OpenTables();
        data.tblStripothek().locate("SCLCOMICID", "C1");
        data.tblComic2Autor().locate("C2AID", "X1");
        QCOMPARE(data.tblComic2Autor().fieldByName("C2AAUTORID").displayText(), QString("Goscinny"));
    }

    // Closing made the lists follow the closing catalogue, and a list that
    // follows posts its edited row first: every pending row is dropped.
    void closingDropsPendingEdits_data()
    {
        QTest::addColumn<QString>("component");
        QTest::addColumn<QString>("field");
        QTest::newRow("catalogue, changed") << "tblStripothek" << "SCLTITEL1";
        QTest::newRow("assignment, changed") << "tblComic2Autor" << "C2AATID";
        QTest::newRow("edition, new") << "tblAuflagen" << "ALAUFLAGE";
        QTest::newRow("own copy, new") << "tblComicLocal" << "LCLAUFLAGE";
    }
    void closingDropsPendingEdits()
    {
        QFETCH(QString, component);
        QFETCH(QString, field);
        QString table;
        {
            ComicData data;
            open(data);
            QVERIFY(data.tblStripothek().locate("SCLCOMICID", "C1"));
            db::Table& t = *data.tableByName(component);
            table = t.tableName();
            t.edit(); // an empty list starts a new row
            t.fieldByName(field).setAsString("nie gespeichert");
            data.CloseTables();
            QVERIFY(!t.active());
        }
        ComicData data;
        open(data);
        db::Query stored(data.dbConnection());
        stored.setSql(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = 'nie gespeichert'").arg(table, field));
        stored.open();
        QCOMPARE(stored.field(0).asInteger(), 0);
    }

    // A table whose fields differ from what the program stores is refused at
    // opening, by name, instead of failing at every save.
    void tableThatDoesNotMatchIsRefused_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("component");
        QTest::addColumn<QString>("message");
        QTest::newRow("field missing")
            << "ALTER TABLE AUFLAGEN DROP COLUMN ALSPWG" << "tblAuflagen"
            << "tblAuflagen: In der Tabelle „AUFLAGEN“ fehlt das Feld „ALSPWG“ (VARCHAR(10))";
        QTest::newRow("number instead of text")
            << "DROP TABLE LITERATURART; CREATE TABLE LITERATURART (LAARTID VARCHAR(50), LANAME INTEGER)" << "tblLitart"
            << "tblLitart: Das Feld „LANAME“ der Tabelle „LITERATURART“ hat den Typ INTEGER, erwartet ist VARCHAR(50)";
        QTest::newRow("narrower text")
            << "DROP TABLE SERIEN; CREATE TABLE SERIEN (SRSERIENID VARCHAR(50), SRNAME VARCHAR(10), SRBEMERUNG TEXT)"
            << "tblSerie"
            << "tblSerie: Das Feld „SRNAME“ der Tabelle „SERIEN“ hat den Typ VARCHAR(10), erwartet ist VARCHAR(50)";
    }
    void tableThatDoesNotMatchIsRefused()
    {
        QFETCH(QString, change);
        QFETCH(QString, component);
        QFETCH(QString, message);
        QTemporaryDir dir;
        db::schema::createDatabase(dir.path());
        {
            db::Connection c;
            c.setDatabasePath(dir.path() + "/database");
            c.connect();
            for (const QString& statement : change.split("; "))
                c.execute(statement);
        }
        ComicData data;
        data.dbConnection().setDatabasePath(dir.path() + "/database");
        try {
            data.OpenTables();
            QFAIL("opened");
        } catch (const db::EngineError& e) {
            QVERIFY2(e.message().startsWith(message + ". Die Datenbank „"), qPrintable(e.message()));
        }
        QVERIFY(!data.tableByName(component)->active());
        QVERIFY(data.tblAutortyp().active()); // opening stopped at that table
        QVERIFY(!data.tblKeyGen().active());
    }

    // A malformed page that only the lists' next reading meets: closing reads
    // nothing (it threw from the destructor before), and the first reading
    // that meets the damage says so, and so does every use after it.
    void damagedFileClosesQuietly()
    {
        QTemporaryDir dir;
        db::schema::createDatabase(dir.path(), [](sqlite3* db) {
            // One comic whose key sorts last, and many assignments of others
            // before it, so that the lists' index has pages the comic never reads.
            sqlite3_exec(db,
                         "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1) VALUES ('ZZZ1', 'Letzter');"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                         "INSERT INTO COMIC2AUTOR (C2AID, C2ACOMICID) SELECT 'X' || i, printf('A%05d', i) FROM n;"
                         "INSERT INTO COMIC2AUTOR (C2AID, C2ACOMICID) VALUES ('X0', 'ZZZ1');",
                         nullptr, nullptr, nullptr);
        });
        const QString file = db::schema::databaseFile(dir.path());
        qint64 page = 0;
        qint64 pageSize = 0;
        {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
            sqlite3_stmt* find = nullptr;
            sqlite3_prepare_v2(db,
                               "SELECT pageno, (SELECT page_size FROM pragma_page_size) FROM dbstat "
                               "WHERE name = 'NKC2ACOMICID' AND pagetype = 'leaf' ORDER BY path LIMIT 1",
                               -1, &find, nullptr);
            QCOMPARE(sqlite3_step(find), SQLITE_ROW);
            page = sqlite3_column_int64(find, 0);
            pageSize = sqlite3_column_int64(find, 1);
            sqlite3_finalize(find);
            sqlite3_close(db);
        }
        QFile damaged(file);
        QVERIFY(damaged.open(QIODevice::ReadWrite));
        QVERIFY(damaged.seek((page - 1) * pageSize));
        damaged.write(QByteArray(int(pageSize), '\xff'));
        damaged.close();

        ComicData data;
        data.dbConnection().setDatabasePath(dir.path() + "/database");
        data.OpenTables();
        QCOMPARE(data.tblComic2Autor().shownCount(), 1);
        data.CloseTables();

        data.OpenTables();
        QString first;
        try {
            db::Query early(data.dbConnection(), "qryFrueh");
            early.setSql("SELECT count(*) FROM COMIC2AUTOR INDEXED BY NKC2ACOMICID WHERE C2ACOMICID < 'B'");
            early.open();
        } catch (const db::EngineError& e) {
            first = e.message();
            QVERIFY(e.damaged());
        }
        QVERIFY2(first.contains("ist beschädigt") && first.contains("PRAGMA integrity_check")
                     && first.contains(QDir::toNativeSeparators(file)),
                 qPrintable(first));
        QString again;
        try {
            data.tblStripothek().refresh();
        } catch (const db::EngineError& e) {
            again = e.message();
        }
        QCOMPARE(again, first);
    } // the destructor closes without throwing

    // What is wrong with a database file is named as it is: a read-only
    // folder or file, another program holding it, a file that is no
    // Stripothek database or none at all. A collection the user may only
    // read opens for reading. The opening runs as another user, so that
    // rights count when the tests run as root.
    void openingProblemsAreNamed_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("lines"); // "…" stands for any text
        const QString readOnly = "ist schreibgeschützt; die Änderung wurde nicht gespeichert";
        const QString folderReadOnly = "Fehler: …Der Ordner „%DIR%“ ist schreibgeschützt; die Änderung wurde nicht "
                                       "gespeichert. …";
        QTest::newRow("sound file") << "sound" << QStringList{"geöffnet: 1 Comics", "gespeichert"};
        QTest::newRow("file only readable")
            << "file read-only" << QStringList{"geöffnet: 1 Comics", "nur lesbar", "Fehler: …„%FILE%“ " + readOnly};
        QTest::newRow("folder only readable")
            << "folder read-only" << QStringList{"geöffnet: 1 Comics", "nur lesbar", "wie vorgefunden", folderReadOnly};
        QTest::newRow("folder and file only readable")
            << "all read-only" << QStringList{"geöffnet: 1 Comics", "nur lesbar", "wie vorgefunden", folderReadOnly};
        QTest::newRow("folder only readable, another program editing")
            << "folder read-only, editing" << QStringList{"geöffnet: 2 Comics", "nur lesbar", folderReadOnly};
        QTest::newRow("folder only readable, changes left in the log")
            << "folder read-only, log left"
            << QStringList{"Fehler: dbConnection: Die Sammlung im Ordner „%DIR%“ lässt sich nur lesen, und ihre letzten "
                           "Änderungen stehen noch in der Datei „stripothek.db-wal“: …"};
        QTest::newRow("file not readable")
            << "file unreadable"
            << QStringList{"Fehler: dbConnection: Die Datenbankdatei „%FILE%“ darf nicht gelesen werden: …"};
        QTest::newRow("folder not readable")
            << "folder unreadable" << QStringList{"Fehler: dbConnection: Der Ordner „%DIR%“ darf nicht gelesen werden: …"};
        QTest::newRow("used by another program")
            << "held" << QStringList{"Fehler: dbConnection: Die Datenbank „%FILE%“ wird von einem anderen Programm benutzt. …"};
        QTest::newRow("empty file") << "empty"
                                    << QStringList{"Fehler: dbConnection: Die Datei „%FILE%“ ist keine Stripothek-Datenbank: …"};
        QTest::newRow("another program's SQLite file")
            << "foreign" << QStringList{"Fehler: dbConnection: Die Datei „%FILE%“ ist keine Stripothek-Datenbank: …"};
        QTest::newRow("no database at all")
            << "garbage" << QStringList{"Fehler: dbConnection: Die Datenbankdatei „%FILE%“ ist beschädigt. Prüfen lässt sie sich mit: …"};
    }
    void openingProblemsAreNamed()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        db::schema::createDatabase(dir.path());
        const QString folder = dir.path() + "/database";
        const QString file = folder + "/stripothek.db";
        const auto addComic = [&](sqlite3* db) {
            QCOMPARE(sqlite3_exec(db, "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1) VALUES (hex(randomblob(8)), 'x')",
                                  nullptr, nullptr, nullptr),
                     SQLITE_OK);
        };
        {
            sqlite3* db = nullptr;
            sqlite3_open(file.toUtf8().constData(), &db);
            addComic(db);
            sqlite3_close(db);
        }
        const auto replaceFile = [&](const QByteArray& content) {
            QFile::remove(file);
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        };
        if (setup == "empty")
            replaceFile({});
        if (setup == "garbage")
            replaceFile(QByteArray(4096, 'x'));
        if (setup == "foreign") {
            replaceFile({});
            sqlite3* other = nullptr;
            sqlite3_open(file.toUtf8().constData(), &other);
            sqlite3_exec(other, "CREATE TABLE KUNDEN (NAME TEXT)", nullptr, nullptr, nullptr);
            sqlite3_close(other);
        }
        // Held the way another program would hold it: an exclusive lock, kept;
        // or open with a change in its log, as while the program edits.
        sqlite3* holder = nullptr;
        if (setup == "held") {
            sqlite3_open(file.toUtf8().constData(), &holder);
            sqlite3_exec(holder, "PRAGMA locking_mode = EXCLUSIVE; UPDATE KEYGEN SET KGDBID = KGDBID", nullptr,
                         nullptr, nullptr);
        }
        if (setup.endsWith("editing") || setup.endsWith("log left")) {
            sqlite3_open(file.toUtf8().constData(), &holder);
            addComic(holder);
        }
        if (setup.endsWith("log left")) {
            // A program that ended without closing the file: its log stays.
            sqlite3_db_config(holder, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
            sqlite3_close(holder);
            holder = nullptr;
            QFile::remove(file + "-shm");
            QVERIFY(QFileInfo(file + "-wal").size() > 0);
        }
        const auto close = qScopeGuard([&] { sqlite3_close(holder); });
        using P = QFileDevice;
        const auto all = P::ReadOwner | P::WriteOwner | P::ExeOwner | P::ReadGroup | P::ExeGroup | P::ReadOther
                         | P::ExeOther;
        const bool folderReadOnly = setup.startsWith("folder read-only") || setup == "all read-only";
        QVERIFY(QFile::setPermissions(dir.path(), all));
        QVERIFY(QFile::setPermissions(folder, setup == "folder unreadable" ? P::ReadOwner | P::WriteOwner | P::ExeOwner
                                              : folderReadOnly             ? all
                                                                           : all | P::WriteGroup | P::WriteOther));
        const auto fileRights = P::ReadOwner | P::WriteOwner | P::ReadGroup | P::ReadOther;
        QVERIFY(QFile::setPermissions(file, setup == "file unreadable" ? P::ReadOwner | P::WriteOwner
                                            : setup == "file read-only" || setup == "all read-only" || setup.endsWith("editing")
                                                ? fileRights
                                                : fileRights | P::WriteGroup | P::WriteOther));

        QProcess check;
        test::runAsAnotherUser(check);
        check.start(OPENCHECK, {folder});
        QVERIFY(check.waitForFinished(60000));
        QCOMPARE(check.exitCode(), 0);
        const QStringList output = QString::fromUtf8(check.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(output.size(), lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QStringList parts = lines[i]
                                    .replace("%FILE%", QDir::toNativeSeparators(file))
                                    .replace("%DIR%", QDir::toNativeSeparators(folder))
                                    .split(QStringLiteral("…"));
            for (QString& part : parts)
                part = QRegularExpression::escape(part);
            const QString pattern = parts.join(QStringLiteral(".*"));
            QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(output[i]).hasMatch(),
                     qPrintable(output[i]));
        }
        // Nothing was left beside a file the user may only read.
        if (folderReadOnly && !setup.endsWith("editing") && !setup.endsWith("log left"))
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"stripothek.db"});
    }

    void missingTableStopsOpeningThere()
    {
        QTemporaryDir dir;
        db::schema::createDatabase(dir.path());
        {
            db::Connection c;
            c.setDatabasePath(dir.path() + "/database");
            c.connect();
            c.execute("DROP TABLE SERVERSTRIPOTHEK");
        }
        ComicData data;
        data.dbConnection().setDatabasePath(dir.path() + "/database");
        try {
            data.OpenTables();
            QFAIL("no error");
        } catch (const db::EngineError& e) {
            QVERIFY2(e.message().startsWith("tblStripothek: "), qPrintable(e.message()));
        }
        QVERIFY(data.tblAutortyp().active());
        QVERIFY(data.tblAusfuehrungen().active());
        QVERIFY(!data.tblStripothek().active());
        QVERIFY(!data.tblKeyGen().active());
        QVERIFY_THROWS_EXCEPTION(db::EngineError, data.NewRecordKey());
    }

    void recordKeysComeFromTheCounter()
    {
        ComicData data;
        open(data);
        const QString prefix = data.tblKeyGen().fieldByName("KGDBID").asString();
        const int last = data.tblKeyGen().fieldByName("KGNEXTID").asInteger();
        QCOMPARE(data.NewRecordKey(), prefix + QString::number(last + 1));
        QCOMPARE(data.NewRecordKey(), prefix + QString::number(last + 2));
    }
};

QTEST_GUILESS_MAIN(TestComicData)
#include "tst_comicdata.moc"
