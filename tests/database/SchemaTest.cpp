#include "cli/Demo.h"
#include "database/Connection.h"
#include "core/Errors.h"
#include "database/GermanOrder.h"
#include "database/Isbn.h"
#include "database/Schema.h"
#include "database/Table.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The layout the program and the stock sqlite3 shell expect, written out here
// on its own: columns in order with their declared types, then the indexes
// ("!" marks a unique one) with their columns; german(X) is the German sort
// key of the name X.
struct Expected {
    const char* table;
    const char* columns;
    QList<const char*> indexes;
};

const QList<Expected> kExpected = {
    {"SERVERSTRIPOTHEK",
     "SCLCOMICID VARCHAR(50), SCLTITEL1 VARCHAR(150), SCLTITEL2 VARCHAR(150), SCLTITEL3 VARCHAR(150), "
     "SCLSERIEID VARCHAR(50), SCLBAND INTEGER, SCLAUFLAGE INTEGER, SCLVERLAGID VARCHAR(50), SCLISBNNR VARCHAR(50), "
     "SCLSEITEN INTEGER, SCLINHALT TEXT, SCLLITARTID VARCHAR(50), SCLSPARTEID VARCHAR(50), SCLFEHLT INTEGER, "
     "SCLBEMERKUNG TEXT, SCLMAXLIMANZAHL INTEGER, SCLAUTOREN VARCHAR(255), SCLZUKAUFEN INTEGER, "
     "SCLINTISBNNR VARCHAR(50), SCLVERLAGTEXT VARCHAR(100), SCLSERIENTEXT VARCHAR(100), SCLSERVERID VARCHAR(50)",
     {"!PKSCLCOMICID: SCLCOMICID", "NKSCLINTISBNNR: SCLINTISBNNR", "NKSCLLITARTID: SCLLITARTID",
      "NKSCLSERIEID: SCLSERIEID", "NKSCLSERVERID: SCLSERVERID", "NKSCLSPARTEID: SCLSPARTEID",
      "NKSCLVERLAGID: SCLVERLAGID", "NKSCLZUKAUFEN: SCLZUKAUFEN", "NKSCLSERIENTEXT: german(SCLSERIENTEXT), SCLBAND",
      "NKSCLVERLAGTEXT: german(SCLVERLAGTEXT), german(SCLSERIENTEXT), SCLBAND", "NKSCLTITEL1: german(SCLTITEL1)"}},
    {"COMIC2AUTOR", "C2AID VARCHAR(50), C2AAUTORID VARCHAR(50), C2ACOMICID VARCHAR(50), C2AATID VARCHAR(50)",
     {"!PKC2AID: C2AID", "NKC2ACOMICID: C2ACOMICID"}},
    {"AUFLAGEN",
     "ALAUFLAGEID VARCHAR(50), ALCOMICID VARCHAR(50), ALAUFLAGE VARCHAR(50), ALERSCHEINUNGSDATUM VARCHAR(25), "
     "ALVKPREIS DOUBLE, ALWG VARCHAR(10), ALSPREIS DOUBLE, ALSPWG VARCHAR(10), ALAUSFUEHRUNGID1 VARCHAR(50), "
     "ALAUSFUEHRUNGID2 VARCHAR(50)",
     {"!PKALAUFLAGEID: ALAUFLAGEID", "NKALCOMICID: ALCOMICID"}},
    {"LOKALESTRIPOTHEK",
     "LCLCOMICID VARCHAR(50), LCLSERVERCOMICID VARCHAR(50), LCLZUSTANDID VARCHAR(50), LCLAUFLAGE VARCHAR(25), "
     "LCLKPREIS DOUBLE, LCLKPREISWG VARCHAR(5), LCKKDATUM DATETIME, LCLLAGERPLATZ VARCHAR(50), LCLNUMMER INTEGER, "
     "LCLBEMERKUNG TEXT, LCLHAUPTCOMIC INTEGER, LCLAUSFUEHRUNGID1 VARCHAR(50), LCLAUSFUEHRUNGID2 VARCHAR(50)",
     {"!PKLCLCOMICID: LCLCOMICID", "NKLCLSERVERCOMICID: LCLSERVERCOMICID"}},
    {"VERLAGE", "VLVERLAGID VARCHAR(50), VLNAME1 VARCHAR(50)", {"!PKVLVERLAGID: VLVERLAGID", "NKVLNAME1: german(VLNAME1)"}},
    {"SERIEN", "SRSERIENID VARCHAR(50), SRNAME VARCHAR(50), SRBEMERUNG TEXT",
     {"!PKSRSERIENID: SRSERIENID", "NKSRNAME: german(SRNAME)"}},
    {"AUTOREN", "ANAUTORID VARCHAR(50), ANNAME VARCHAR(50)", {"!PKANAUTORID: ANAUTORID", "NKANNAME: german(ANNAME)"}},
    {"AUTORTYP", "ATID VARCHAR(50), ATTYP VARCHAR(50)", {"!PKATID: ATID"}},
    {"AUSFUEHRUNGEN", "AFAUSFID VARCHAR(50), AFNAME VARCHAR(50)", {"!PKAFAUSFID: AFAUSFID"}},
    {"ZUSTANDSARTEN", "ZWID VARCHAR(50), ZWNAME VARCHAR(50), ZWTEXT TEXT", {"!PKZWID: ZWID"}},
    {"LITERATURART", "LAARTID VARCHAR(50), LANAME VARCHAR(50)", {"!PKLAARTID: LAARTID"}},
    {"UNTERART", "UATID VARCHAR(50), UANAME VARCHAR(50)", {"!PKUATID: UATID"}},
    {"KEYGEN", "KGDBID VARCHAR(50), KGNEXTID DOUBLE", {"!PKKGNEXTID: KGNEXTID"}},
};

// Plain SQLite access, as another program would see the file.
class Sql {
public:
    explicit Sql(const QString& file, int flags = SQLITE_OPEN_READONLY)
    {
        if (sqlite3_open_v2(file.toUtf8().constData(), &m_db, flags, nullptr) != SQLITE_OK) {
            sqlite3_close(m_db);
            m_db = nullptr;
        }
    }
    ~Sql() { sqlite3_close(m_db); }
    sqlite3* handle() const { return m_db; }

    // Each row as its columns joined by "|"; an error as "ERROR: ...".
    QStringList rows(const QString& sql) const
    {
        sqlite3_stmt* stmt = nullptr;
        if (!m_db || sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
            return {QStringLiteral("ERROR: ") + QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "not open")};
        QStringList result;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            QStringList columns;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                columns << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)));
            result << columns.join(QLatin1Char('|'));
        }
        if (rc != SQLITE_DONE)
            result << QStringLiteral("ERROR: ") + QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(stmt);
        return result;
    }
    QString value(const QString& sql) const { return rows(sql).value(0).section(QLatin1Char('|'), 0, 0); }

private:
    sqlite3* m_db = nullptr;
};

} // namespace

class SchemaTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_created, m_demo;

    QString file(const QString& kind) const
    {
        return db::schema::databaseFile(kind == QLatin1String("demo") ? m_demo.path() : m_created.path());
    }

    static void addRowsPerTable()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("table");
        for (const char* kind : {"create", "demo"})
            for (int i = 0; i < kExpected.size(); ++i)
                QTest::addRow("%s/%s", kind, kExpected[i].table) << QString::fromLatin1(kind) << i;
    }

private slots:
    void initTestCase()
    {
        db::schema::createDatabase(m_created.path());
        cli::createDemoDatabase(m_demo.path());
    }

    void reduceIsbn_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("reduced");
        QTest::newRow("small x as check digit") << "3-551-71234-x" << "355171234X";
        QTest::newRow("prefix letters stay") << "ISBN 3-89343-105-5" << "ISBN3893431055";
        QTest::newRow("umlaut and dot dropped") << "Nr. ä-12" << "NR12";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("only separators") << " - . / " << "";
        QTest::newRow("ISBN-13 with blanks") << "978 3 551 71234 5" << "9783551712345";
        QTest::newRow("small prefix") << "isbn:3-551" << "ISBN3551";
        QTest::newRow("sharp s is no letter here") << "ß3x" << "3X";
        QTest::newRow("accented capitals dropped") << "ÉÀ1" << "1";
        QTest::newRow("fullwidth digits dropped") << QString::fromUtf8("１２3") << "3";
        QTest::newRow("character outside the BMP") << QString::fromUtf8("3\U0001F600x") << "3X";
        QTest::newRow("tabs and line breaks") << "3\t5\n5\r1" << "3551";
    }

    void reduceIsbn()
    {
        QFETCH(QString, typed);
        QFETCH(QString, reduced);
        QCOMPARE(db::ReduceIsbn(typed), reduced);
    }

    void onlyTheThirteenTables_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("create") << "create";
        QTest::newRow("demo") << "demo";
    }

    void onlyTheThirteenTables()
    {
        QFETCH(QString, kind);
        Sql db(file(kind));
        QStringList expected;
        for (const Expected& e : kExpected)
            expected << QString::fromLatin1(e.table);
        expected.sort();
        // Beside them only the search: its notes, index, views and triggers.
        QCOMPARE(db.rows(QStringLiteral("SELECT name FROM pragma_table_list WHERE type = 'table' AND name NOT LIKE "
                                        "'sqlite_%' AND name <> 'SUCHE_OFFEN' ORDER BY name")),
                 expected);
        QCOMPARE(db.rows(QStringLiteral("SELECT type FROM pragma_table_list WHERE type <> 'table' AND name NOT LIKE "
                                        "'SUCHINDEX%' AND name NOT LIKE 'SUCHTEXT%'")),
                 QStringList());
        QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'trigger' AND name NOT LIKE "
                                         "'SUCHE_%'")),
                 QStringLiteral("0"));
        // Marked as a Stripothek file of the first layout, in WAL mode.
        QCOMPARE(db.value(QStringLiteral("PRAGMA application_id")), QStringLiteral("1398035024"));
        QCOMPARE(db.value(QStringLiteral("PRAGMA user_version")), QStringLiteral("1"));
        QCOMPARE(db.value(QStringLiteral("PRAGMA journal_mode")), QStringLiteral("wal"));
        QCOMPARE(db.value(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    }

    void columns_data() { addRowsPerTable(); }

    void columns()
    {
        QFETCH(QString, kind);
        QFETCH(int, table);
        const Expected& e = kExpected[table];
        Sql db(file(kind));
        QStringList actual;
        // cid|name|type|notnull|dflt_value|pk: plain columns, no constraints, rowid tables.
        for (const QString& row : db.rows(QStringLiteral("PRAGMA table_info(%1)").arg(QLatin1String(e.table)))) {
            const QStringList c = row.split(QLatin1Char('|'));
            QCOMPARE(c.value(3), QStringLiteral("0"));
            QCOMPARE(c.value(4), QString());
            QCOMPARE(c.value(5), QStringLiteral("0"));
            actual << c.value(1) + QLatin1Char(' ') + c.value(2);
        }
        QCOMPARE(actual.join(QStringLiteral(", ")), QString::fromLatin1(e.columns));
    }

    void indexes_data() { addRowsPerTable(); }

    void indexes()
    {
        QFETCH(QString, kind);
        QFETCH(int, table);
        const Expected& e = kExpected[table];
        Sql db(file(kind));
        QStringList textColumns;
        for (const QString& column : QString::fromLatin1(e.columns).split(QStringLiteral(", ")))
            if (column.endsWith(QLatin1Char(')')) || column.endsWith(QLatin1String(" TEXT")))
                textColumns << column.section(QLatin1Char(' '), 0, 0);

        QStringList expected, actual;
        for (const char* index : e.indexes)
            expected << QString::fromLatin1(index);
        // seq|name|unique|origin|partial
        for (const QString& row : db.rows(QStringLiteral("PRAGMA index_list(%1)").arg(QLatin1String(e.table)))) {
            const QStringList i = row.split(QLatin1Char('|'));
            QCOMPARE(i.value(3), QStringLiteral("c")); // made by CREATE INDEX, not by a constraint
            QCOMPARE(i.value(4), QStringLiteral("0"));
            QStringList columns;
            // seqno|cid|name|desc|coll|key: the key columns with their collation.
            for (const QString& xrow : db.rows(QStringLiteral("PRAGMA index_xinfo(%1)").arg(i.value(1)))) {
                const QStringList x = xrow.split(QLatin1Char('|'));
                if (x.value(5) != QLatin1String("1"))
                    continue;
                QCOMPARE(x.value(3), QStringLiteral("0"));
                // The German key of one of the table's names: a column of its own.
                QString name;
                for (const QString& column : textColumns)
                    if (x.value(2) == db::germanKeyColumn(column))
                        name = QStringLiteral("german(%1)").arg(column);
                if (!name.isEmpty()) {
                    QCOMPARE(x.value(4), QStringLiteral("BINARY"));
                    columns << name;
                    continue;
                }
                // Text keys are ordered without case, so the engine's lookups can use the index.
                QCOMPARE(x.value(4), textColumns.contains(x.value(2)) ? QStringLiteral("NOCASE") : QStringLiteral("BINARY"));
                columns << x.value(2);
            }
            actual << (i.value(2) == QLatin1String("1") ? QStringLiteral("!") : QString()) + i.value(1)
                          + QStringLiteral(": ") + columns.join(QStringLiteral(", "));
        }
        expected.sort();
        actual.sort();
        QCOMPARE(actual, expected);
    }

    // The overview and the lists sort by these indexes; ordered by the very
    // expression of the index the stock planner walks it instead of sorting
    // 100,000 rows.
    void orderUsesIndex_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("orderBy");
        QTest::addColumn<QString>("index");
        const auto key = [](const char* column) { return db::germanKeyColumn(QLatin1String(column)); };
        QTest::newRow("series") << "SERVERSTRIPOTHEK" << key("SCLSERIENTEXT") + ", SCLBAND" << "NKSCLSERIENTEXT";
        QTest::newRow("publisher") << "SERVERSTRIPOTHEK"
                                   << key("SCLVERLAGTEXT") + ", " + key("SCLSERIENTEXT") + ", SCLBAND"
                                   << "NKSCLVERLAGTEXT";
        QTest::newRow("title") << "SERVERSTRIPOTHEK" << key("SCLTITEL1") << "NKSCLTITEL1";
        QTest::newRow("ISBN: digits and capitals, case-blind") << "SERVERSTRIPOTHEK" << "SCLINTISBNNR COLLATE NOCASE"
                                                                << "NKSCLINTISBNNR";
        QTest::newRow("publisher list") << "VERLAGE" << key("VLNAME1") << "NKVLNAME1";
        QTest::newRow("author list") << "AUTOREN" << key("ANNAME") << "NKANNAME";
        QTest::newRow("series list") << "SERIEN" << key("SRNAME") << "NKSRNAME";
    }

    void orderUsesIndex()
    {
        QFETCH(QString, table);
        QFETCH(QString, orderBy);
        QFETCH(QString, index);
        Sql db(file(QStringLiteral("demo")));
        const QString plan =
            db.rows(QStringLiteral("EXPLAIN QUERY PLAN SELECT rowid FROM %1 ORDER BY %2").arg(table, orderBy)).join('\n');
        QVERIFY2(plan.contains(QStringLiteral("INDEX ") + index), qPrintable(plan));
        QVERIFY2(!plan.contains(QLatin1String("TEMP B-TREE")), qPrintable(plan));
    }

    // The stock shell knows no function of the program: its writes must keep
    // every index whole, the German ones included.
    void shellWritesKeepIndexesWhole_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("titles"); // in the title index's order afterwards
        QTest::newRow("insert") << "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1) VALUES "
                                   "('x1', 'Öl im Hafen'), ('x2', 'Ofen'), ('x3', 'Straße'), ('x4', 'Élan'),"
                                   "('x5', 'Łódź – Ñandú'), ('x6', 'Île de France'), ('x7', 'Zebra'), ('x8', 'Żubr');"
                                << QStringList{"Élan", "Île de France", "Łódź – Ñandú", "Ofen", "Öl im Hafen",
                                               "Straße", "Zebra", "Żubr"};
        QTest::newRow("update of an indexed name")
            << "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1) VALUES ('x1', 'Zebra'), ('x2', 'Mond');"
               "UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = 'Ärger' WHERE SCLCOMICID = 'x1';"
            << QStringList{"Ärger", "Mond"};
        QTest::newRow("delete") << "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1) VALUES ('x1', 'Über'), "
                                   "('x2', 'Unten'); DELETE FROM SERVERSTRIPOTHEK WHERE SCLTITEL1 = 'Unten';"
                                << QStringList{"Über"};
        QTest::newRow("names of the lists") << "INSERT INTO AUTOREN VALUES ('a1', 'Müller'); "
                                                "UPDATE AUTOREN SET ANNAME = 'Möbius' WHERE ANAUTORID = 'a1';"
                                             << QStringList{};
    }

    void shellWritesKeepIndexesWhole()
    {
        QFETCH(QString, sql);
        const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
        QVERIFY2(!shell.isEmpty(), "the sqlite3 shell is missing (scripts/install-deps.sh installs it)");
        QTemporaryDir dir;
        db::schema::createDatabase(dir.path());
        QProcess process;
        process.start(shell, {db::schema::databaseFile(dir.path()), QStringLiteral("-bail")});
        process.write(sql.toUtf8());
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished());
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()), QString());
        QCOMPARE(process.exitCode(), 0);

        Sql db(db::schema::databaseFile(dir.path()));
        QCOMPARE(db.rows(QStringLiteral("PRAGMA integrity_check")), QStringList{QStringLiteral("ok")});
        QFETCH(QStringList, titles);
        QCOMPARE(db.rows(QStringLiteral("SELECT SCLTITEL1 FROM SERVERSTRIPOTHEK INDEXED BY NKSCLTITEL1 ORDER BY ") +
                         db::germanKeyColumn(QStringLiteral("SCLTITEL1"))),
                 titles);
    }

    // A file of an earlier version gets this version's key columns and
    // indexes over names at the next opening for writing, with every row as
    // it was; opened only for reading, it stays as it is and still sorts its
    // names in the German order.
    void olderFileGetsGermanIndexes_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("earlierKeys"); // key columns of another definition, or none at all
        QTest::newRow("case-blind indexes, opened for writing") << false << false;
        QTest::newRow("case-blind indexes, opened for reading only") << true << false;
        QTest::newRow("earlier key columns, opened for writing") << false << true;
        QTest::newRow("earlier key columns, opened for reading only") << true << true;
    }

    void olderFileGetsGermanIndexes()
    {
        QFETCH(bool, readOnly);
        QFETCH(bool, earlierKeys);
        QTemporaryDir dir;
        cli::createDemoDatabase(dir.path());
        const QString path = db::schema::databaseFile(dir.path());
        QStringList older;
        for (const db::schema::TableDef& t : db::schema::tables()) {
            QStringList nameIndexes;
            for (const db::schema::IndexDef& i : t.indexes)
                if (i.names) {
                    older << QStringLiteral("DROP INDEX %1").arg(i.name);
                    QStringList columns;
                    for (const QString& f : i.fields)
                        columns << (t.field(f)->type == db::schema::FieldDef::Type::Text
                                        ? (earlierKeys ? db::germanKeyColumn(f) : f + QStringLiteral(" COLLATE NOCASE"))
                                        : f);
                    nameIndexes << QStringLiteral("CREATE INDEX %1 ON %2 (%3)").arg(i.name, t.name, columns.join(", "));
                }
            const QStringList fields = db::schema::nameFields(t);
            for (auto f = fields.crbegin(); f != fields.crend(); ++f) {
                const int steps = int(db::germanKeyColumnsSql(*f).size());
                older << QStringLiteral("ALTER TABLE %1 DROP COLUMN %2").arg(t.name, db::germanKeyColumn(*f));
                for (int n = steps - 2; n >= 0; --n)
                    older << QStringLiteral("ALTER TABLE %1 DROP COLUMN %2_SORT%3").arg(t.name, *f).arg(n);
            }
            if (earlierKeys)
                for (const QString& f : fields)
                    older << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2_SORT0 TEXT GENERATED ALWAYS AS (NULL) VIRTUAL;"
                                            "ALTER TABLE %1 ADD COLUMN %3 TEXT GENERATED ALWAYS AS (upper(%2)) VIRTUAL")
                                 .arg(t.name, f, db::germanKeyColumn(f));
            older << nameIndexes;
        }
        // The rows as stored, without the generated columns.
        const auto rows = [](const Sql& db) {
            QStringList all;
            for (const Expected& e : kExpected) {
                QStringList columns;
                for (const QString& c : QString::fromLatin1(e.columns).split(QStringLiteral(", ")))
                    columns << c.section(QLatin1Char(' '), 0, 0);
                all << db.rows(QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid").arg(columns.join(", "), e.table));
            }
            return all;
        };
        QStringList rowsBefore;
        {
            Sql db(path, SQLITE_OPEN_READWRITE);
            const QByteArray sql = older.join(QLatin1Char(';')).toUtf8();
            QCOMPARE(sqlite3_exec(db.handle(), sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
            rowsBefore = rows(db);
        }
        const auto schemaSql = [&] {
            Sql db(path);
            return db.rows(QStringLiteral("SELECT name, sql FROM sqlite_master ORDER BY name"));
        };
        const QStringList olderSchema = schemaSql();

        db::Connection connection;
        connection.setDatabasePath(dir.path() + QStringLiteral("/database"));
        connection.setReadOnly(readOnly);
        connection.connect();
        // The engine sorts the titles as they sort in memory, with or without the key columns.
        {
            db::Table titles(connection, QStringLiteral("tblStripothek"), QStringLiteral("SERVERSTRIPOTHEK"));
            titles.setIndexName(QStringLiteral("NKSCLTITEL1"));
            titles.open();
            QStringList shown;
            for (titles.first(); !titles.eof(); titles.next())
                shown << titles.fieldByName(QStringLiteral("SCLTITEL1")).asString();
            Sql db(path);
            QStringList expected = db.rows(QStringLiteral("SELECT SCLTITEL1 FROM SERVERSTRIPOTHEK ORDER BY rowid"));
            std::stable_sort(expected.begin(), expected.end(),
                             [](const QString& a, const QString& b) { return db::germanCompare(a, b) < 0; });
            QCOMPARE(shown, expected);
        }
        connection.disconnect();

        if (readOnly) {
            QCOMPARE(schemaSql(), olderSchema);
        } else {
            Sql db(path);
            for (const db::schema::TableDef& t : db::schema::tables()) {
                const QString table = db.value(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = '%1'").arg(t.name));
                for (const QString& f : db::schema::nameFields(t))
                    for (const QString& column : db::germanKeyColumnsSql(f))
                        QVERIFY2(table.contains(column), qPrintable(column.left(40)));
                for (const db::schema::IndexDef& i : t.indexes)
                    if (i.names)
                        QCOMPARE(db.value(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = '%1'").arg(i.name)),
                                 db::schema::createIndexSql(t, i));
            }
        }
        Sql db(path);
        QCOMPARE(rows(db), rowsBefore);
        QCOMPARE(db.rows(QStringLiteral("PRAGMA integrity_check")), QStringList{QStringLiteral("ok")});
        // Once is enough: the next opening finds nothing to do.
        if (!readOnly) {
            Sql writer(path, SQLITE_OPEN_READWRITE);
            QVERIFY(!db::schema::upgradeGermanOrder(writer.handle()));
        }
    }

    void indexedTextIgnoresCase()
    {
        QTemporaryDir dir;
        db::schema::createDatabase(dir.path());
        Sql db(db::schema::databaseFile(dir.path()), SQLITE_OPEN_READWRITE);
        QCOMPARE(db.rows(QStringLiteral("INSERT INTO VERLAGE VALUES ('abc1', 'x')")), QStringList());
        // Keys that differ only in case would be ambiguous to a case-blind locate.
        QVERIFY(db.rows(QStringLiteral("INSERT INTO VERLAGE VALUES ('ABC1', 'y')")).value(0).startsWith("ERROR: UNIQUE"));
    }

    void lookupDefaults_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("required");
        QTest::newRow("roles") << "SELECT ATTYP FROM AUTORTYP"
                               << QStringList{"Autor", "Zeichner", "Szenarist", "Kolorist", "Übersetzer", "Tuscher"};
        QTest::newRow("executions")
            << "SELECT AFNAME FROM AUSFUEHRUNGEN"
            << QStringList{"Softcover", "Hardcover", "Album", "Heft", "Taschenbuch", "Vorzugsausgabe"};
        QTest::newRow("condition grades")
            << "SELECT substr(ZWNAME, 1, 1) FROM ZUSTANDSARTEN WHERE ZWTEXT <> ''" << QStringList{"0", "1", "2", "3", "4"};
        QTest::newRow("literature types") << "SELECT LANAME FROM LITERATURART" << QStringList{"Comic", "Manga"};
        QTest::newRow("literature kinds") << "SELECT UANAME FROM UNTERART" << QStringList{"Abenteuer", "Funny"};
    }

    void lookupDefaults()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, required);
        const QStringList names = Sql(file(QStringLiteral("create"))).rows(sql);
        for (const QString& name : required)
            QVERIFY2(names.contains(name), qPrintable(name + QStringLiteral(" missing in ") + names.join(", ")));
    }

    void keyCounterCoversEveryKey()
    {
        Sql db(file(QStringLiteral("create")));
        const QStringList keygen = db.rows(QStringLiteral("SELECT KGDBID, KGNEXTID FROM KEYGEN"));
        QCOMPARE(keygen.size(), 1);
        const QString prefix = keygen.first().section(QLatin1Char('|'), 0, 0);
        const qint64 last = qRound64(keygen.first().section(QLatin1Char('|'), 1).toDouble());
        QVERIFY2(QRegularExpression(QStringLiteral("^[A-Z][A-Z0-9]{1,2}[A-Z]$")).match(prefix).hasMatch(), qPrintable(prefix));
        const QStringList keys = db.rows(QStringLiteral(
            "SELECT ATID FROM AUTORTYP UNION ALL SELECT AFAUSFID FROM AUSFUEHRUNGEN UNION ALL SELECT ZWID FROM ZUSTANDSARTEN "
            "UNION ALL SELECT LAARTID FROM LITERATURART UNION ALL SELECT UATID FROM UNTERART"));
        QVERIFY(!keys.isEmpty());
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
        for (const QString& key : keys) {
            QVERIFY2(key.startsWith(prefix), qPrintable(key));
            const qint64 number = key.mid(prefix.size()).toLongLong();
            QVERIFY2(number >= 1 && number <= last, qPrintable(key));
        }
    }

    void randomPrefixes()
    {
        const QRegularExpression form(QStringLiteral("^[A-Z][A-Z0-9]{1,2}[A-Z]$"));
        QSet<QString> seen;
        QSet<int> lengths;
        for (int i = 0; i < 200; ++i) {
            const QString prefix = db::schema::randomKeyPrefix();
            QVERIFY2(form.match(prefix).hasMatch(), qPrintable(prefix));
            seen.insert(prefix);
            lengths.insert(int(prefix.size()));
        }
        QCOMPARE(lengths, (QSet<int>{3, 4}));
        QVERIFY(seen.size() > 190);
    }

    void keyCounterOnEmptyTableStartsWithoutPrefix()
    {
        QTemporaryDir dir;
        db::schema::createDatabase(dir.path());
        Sql db(db::schema::databaseFile(dir.path()), SQLITE_OPEN_READWRITE);
        QCOMPARE(db.rows(QStringLiteral("DELETE FROM KEYGEN")), QStringList());
        db::schema::KeyCounter keys(db.handle());
        QCOMPARE(keys.next(), QStringLiteral("1"));
        QCOMPARE(keys.next(), QStringLiteral("2"));
        keys.save();
        QCOMPARE(db.rows(QStringLiteral("SELECT coalesce(KGDBID, ''), KGNEXTID FROM KEYGEN")), QStringList{"|2.0"});
    }

    void keyCounterStopsAtTheLargest32BitNumber()
    {
        QTemporaryDir dir;
        db::schema::createDatabase(dir.path());
        Sql db(db::schema::databaseFile(dir.path()), SQLITE_OPEN_READWRITE);
        QCOMPARE(db.rows(QStringLiteral("UPDATE KEYGEN SET KGDBID = 'AB', KGNEXTID = 2147483646")), QStringList());
        db::schema::KeyCounter keys(db.handle());
        QCOMPARE(keys.next(), QStringLiteral("AB2147483647"));
        QVERIFY_THROWS_EXCEPTION(db::Error, keys.next());
        keys.save();
        QCOMPARE(db.value(QStringLiteral("SELECT CAST(KGNEXTID AS INTEGER) FROM KEYGEN")), QStringLiteral("2147483647"));
    }

    void refusesToOverwrite_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("a database") << QByteArray();
        QTest::newRow("an empty file") << QByteArray("");
        QTest::newRow("some other file") << QByteArray("Einkaufsliste");
    }

    void refusesToOverwrite()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = db::schema::databaseFile(dir.path());
        if (content.isNull()) {
            db::schema::createDatabase(dir.path());
            Sql(path, SQLITE_OPEN_READWRITE).rows(QStringLiteral("INSERT INTO VERLAGE VALUES ('X1', 'Bleibt')"));
        } else {
            QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/database")));
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        QFile before(path);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();

        try {
            db::schema::createDatabase(dir.path());
            QFAIL("an existing file was overwritten");
        } catch (const db::Error& e) {
            QVERIFY2(e.message().contains(QLatin1String("existiert bereits")), e.what());
            QVERIFY2(e.message().contains(path), e.what());
        }
        QFile after(path);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes);
    }

    void failureLeavesNothingBehind()
    {
        QTemporaryDir dir;
        const QString path = db::schema::databaseFile(dir.path());
        try {
            db::schema::createDatabase(dir.path(), [](sqlite3*) { throw db::Error(QStringLiteral("Abbruch beim Füllen")); });
            QFAIL("the error was swallowed");
        } catch (const db::Error& e) {
            QCOMPARE(e.message(), QStringLiteral("Abbruch beim Füllen"));
        }
        QVERIFY(!QFile::exists(path));
        QVERIFY(!QFile::exists(path + QStringLiteral("-journal")));
        QVERIFY(!QFile::exists(path + QStringLiteral("-wal")));
        QVERIFY(!QDir(dir.path() + QStringLiteral("/database")).exists());
        // Nothing stands in the way of a second attempt.
        db::schema::createDatabase(dir.path());
        QVERIFY(QFile::exists(path));
    }

    // "stripothek-db" killed while it fills the database: nothing may be left
    // under the database's name, or the next run refuses to overwrite it.
    void killedHalfWayBlocksNothing()
    {
        QTemporaryDir dir;
        const QString path = db::schema::databaseFile(dir.path());
        const pid_t child = fork();
        if (child == 0) {
            db::schema::createDatabase(dir.path(), [](sqlite3*) { ::raise(SIGKILL); });
            _exit(0);
        }
        QVERIFY(child > 0);
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        QVERIFY(!QFile::exists(path));
        db::schema::createDatabase(dir.path());
        Sql db(path, SQLITE_OPEN_READONLY);
        QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM AUTORTYP")), QStringLiteral("8"));
    }

    // A database made beside an existing database directory keeps what else is in it.
    void failureKeepsAnExistingDirectory()
    {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/database")));
        QVERIFY_THROWS_EXCEPTION(db::Error,
                                 db::schema::createDatabase(dir.path(), [](sqlite3*) { throw db::Error(QStringLiteral("x")); }));
        QVERIFY(QDir(dir.path() + QStringLiteral("/database")).exists());
        QVERIFY(!QFile::exists(db::schema::databaseFile(dir.path())));
    }
};

QTEST_GUILESS_MAIN(SchemaTest)
#include "SchemaTest.moc"
