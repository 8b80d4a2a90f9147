#include "Bench.h"

#include "database/ComicData.h"
#include "database/GermanOrder.h"
#include "database/RecordKeys.h"

#include <QRandomGenerator>
#include <algorithm>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

namespace {

// The shown-row query of each table as the engine runs it after opening.
struct TableOrder {
    const char* table;
    QString order;
    const char* link; // detail tables: the field linked to the comic key
};

// Names sort by their German key, the column their index holds.
QString key(const char* column)
{
    return db::germanKeyColumn(QLatin1String(column));
}

const QString kCatalogueTerms = key("SCLSERIENTEXT") + QStringLiteral(", SCLBAND, rowid");
const QString kCatalogueOrder = QStringLiteral(" ORDER BY ") + kCatalogueTerms;
const QString kCatalogue = QStringLiteral("SERVERSTRIPOTHEK");
const QString kSeriesIndex = QStringLiteral("NKSCLSERIENTEXT");

const TableOrder kTables[] = {
    {"AUTORTYP", "rowid", nullptr},
    {"AUTOREN", key("ANNAME") + QStringLiteral(", rowid"), nullptr},
    {"VERLAGE", key("VLNAME1") + QStringLiteral(", rowid"), nullptr},
    {"SERIEN", "rowid", nullptr},
    {"ZUSTANDSARTEN", "rowid", nullptr},
    {"LITERATURART", "rowid", nullptr},
    {"UNTERART", "rowid", nullptr},
    {"AUSFUEHRUNGEN", "rowid", nullptr},
    {"SERVERSTRIPOTHEK", key("SCLSERIENTEXT") + QStringLiteral(", SCLBAND, rowid"), nullptr},
    {"COMIC2AUTOR", "C2ACOMICID COLLATE NOCASE, rowid", "C2ACOMICID"},
    {"AUFLAGEN", "ALCOMICID COLLATE NOCASE, rowid", "ALCOMICID"},
    {"LOKALESTRIPOTHEK", "LCLSERVERCOMICID COLLATE NOCASE, rowid", "LCLSERVERCOMICID"},
    {"KEYGEN", "rowid", nullptr},
};

class RawDb {
public:
    explicit RawDb(const QString& file)
    {
        if (sqlite3_open_v2(file.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open database");
        rawExec(m_db, "PRAGMA synchronous=FULL");
        rawExec(m_db, "PRAGMA cache_size=-16384");
    }
    ~RawDb() { sqlite3_close_v2(m_db); }
    sqlite3* get() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

QString firstComicId(sqlite3* db)
{
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, (QStringLiteral("SELECT SCLCOMICID FROM SERVERSTRIPOTHEK") + kCatalogueOrder + QStringLiteral(" LIMIT 1")).toUtf8().constData(),
                       -1, &s, nullptr);
    QString id;
    if (sqlite3_step(s) == SQLITE_ROW)
        id = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
    return id;
}

void rawOpenAll(const QString& file)
{
    RawDb raw(file);
    const QString comic = firstComicId(raw.get());
    for (const TableOrder& t : kTables) {
        if (!t.link) {
            rawFirstWindow(raw.get(), QLatin1String(t.table), QString(), t.order, QString());
            continue;
        }
        QString sql = QStringLiteral("SELECT rowid FROM %1").arg(QLatin1String(t.table));
        sql += QStringLiteral(" WHERE %1 = ?1 COLLATE NOCASE AND %1 = ?1").arg(QLatin1String(t.link));
        sql += QStringLiteral(" ORDER BY ") + t.order;
        rawCollectIds(raw.get(), sql, comic);
    }
}

// The catalogue's row ids in series order, as the engine holds them after opening.
std::vector<qint64> rawCatalogueIds(sqlite3* db)
{
    std::vector<qint64> ids;
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, (QStringLiteral("SELECT rowid FROM SERVERSTRIPOTHEK") + kCatalogueOrder).toUtf8().constData(), -1,
                       &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(s, 0));
    sqlite3_finalize(s);
    return ids;
}

// The raw counterpart of walking the table with its detail tables following:
// the same statements the engine runs (the rows by id, 32 at a time; each
// comic's details by its key), every value read, in one read transaction.
void rawWalk(sqlite3* db, const std::vector<qint64>& ids)
{
    constexpr int kBatch = 32;
    QByteArray marks("?");
    for (int i = 1; i < kBatch; ++i)
        marks += ",?";
    sqlite3_stmt* master = nullptr;
    sqlite3_prepare_v2(db, "SELECT rowid, " + storedColumns(QStringLiteral("SERVERSTRIPOTHEK")).toUtf8() +
                               " FROM SERVERSTRIPOTHEK WHERE rowid IN (" + marks + ")",
                       -1, &master, nullptr);
    const char* details[] = {
        "SELECT rowid, * FROM COMIC2AUTOR WHERE C2ACOMICID = ? COLLATE NOCASE AND C2ACOMICID = ? ORDER BY C2ACOMICID COLLATE NOCASE, rowid",
        "SELECT rowid, * FROM AUFLAGEN WHERE ALCOMICID = ? COLLATE NOCASE AND ALCOMICID = ? ORDER BY ALCOMICID COLLATE NOCASE, rowid",
        "SELECT rowid, * FROM LOKALESTRIPOTHEK WHERE LCLSERVERCOMICID = ? COLLATE NOCASE AND LCLSERVERCOMICID = ? ORDER BY "
        "LCLSERVERCOMICID COLLATE NOCASE, rowid"};
    sqlite3_stmt* stmts[3];
    for (int i = 0; i < 3; ++i)
        sqlite3_prepare_v2(db, details[i], -1, &stmts[i], nullptr);
    qint64 seen = 0;
    rawExec(db, "BEGIN");
    std::vector<std::string> keys;
    for (size_t at = 0; at < ids.size(); at += kBatch) {
        for (int i = 0; i < kBatch; ++i)
            sqlite3_bind_int64(master, i + 1, at + i < ids.size() ? ids[at + i] : -1);
        keys.clear();
        while (sqlite3_step(master) == SQLITE_ROW) {
            seen += rawReadValues(master, 1);
            keys.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(master, 1)));
        }
        sqlite3_reset(master);
        for (const std::string& key : keys)
            for (sqlite3_stmt* s : stmts) {
                sqlite3_bind_text(s, 1, key.data(), int(key.size()), SQLITE_STATIC);
                sqlite3_bind_text(s, 2, key.data(), int(key.size()), SQLITE_STATIC);
                while (sqlite3_step(s) == SQLITE_ROW)
                    seen += rawReadValues(s, 1);
                sqlite3_reset(s);
            }
    }
    rawExec(db, "COMMIT");
    for (sqlite3_stmt* s : stmts)
        sqlite3_finalize(s);
    sqlite3_finalize(master);
    if (seen < 0)
        throw std::runtime_error("unreachable");
}

} // namespace

void runEngineBench(const QString& dir, Report& report)
{
    const QString databaseDir = dir + QStringLiteral("/database");
    const QString file = databaseDir + QStringLiteral("/stripothek.db");

    // Opening: a fresh data module each run, closed again afterwards.
    {
        const double engine = bestOf(5, [&] {
            ComicData data;
            data.dbConnection().setDatabasePath(databaseDir);
            data.OpenTables();
        });
        report.add(QStringLiteral("open all 13 tables"), engine, bestOf(5, [&] { rawOpenAll(file); }));
    }

    ComicData data;
    data.dbConnection().setDatabasePath(databaseDir);
    data.OpenTables();
    db::Table& catalogue = data.tblStripothek();
    RawDb raw(file);

    struct FilterCase {
        QString name;
        QString expression;
        QString rawWhere;
    };
    const QList<FilterCase> filters{
        // A beginning is found as the names sort, through the name's key column and its index.
        {QStringLiteral("filter: title begins with"), QStringLiteral("(SCLTITEL1 = 'Die*')"),
         QStringLiteral("(SCLTITEL1_SORT >= 'DIE' AND SCLTITEL1_SORT < 'DIE' || char(1114111))")},
        {QStringLiteral("filter: series begins with"), QStringLiteral("(SCLSERIENTEXT = 'Fl*')"),
         QStringLiteral("(SCLSERIENTEXT_SORT >= 'FL' AND SCLSERIENTEXT_SORT < 'FL' || char(1114111))")},
        {QStringLiteral("filter: missing or to buy"), QStringLiteral("((SCLFEHLT = 1) OR (SCLZUKAUFEN = 1))"),
         QStringLiteral("((SCLFEHLT = 1) OR (SCLZUKAUFEN = 1))")},
    };
    for (const FilterCase& f : filters) {
        const double engine = bestOf(5, [&] {
            catalogue.setFiltered(false);
            catalogue.setFilter(f.expression);
            catalogue.setFiltered(true);
            catalogue.first();
        });
        // The engine's time includes switching the filter off again first.
        const double rawMs = bestOf(5, [&] {
            rawFirstWindow(raw.get(), kCatalogue, QString(), kCatalogueTerms, kSeriesIndex);
            rawFirstWindow(raw.get(), kCatalogue, f.rawWhere, kCatalogueTerms, kSeriesIndex);
        });
        report.add(f.name, engine, rawMs);
    }
    catalogue.setFiltered(false);

    struct OrderCase {
        const char* index;
        QString order;
    };
    const OrderCase orders[] = {
        {"NKSCLTITEL1", key("SCLTITEL1") + QStringLiteral(", rowid")},
        {"NKSCLVERLAGTEXT", key("SCLVERLAGTEXT") + QStringLiteral(", ") + key("SCLSERIENTEXT") + QStringLiteral(", SCLBAND, rowid")},
        {"NKSCLINTISBNNR", QStringLiteral("SCLINTISBNNR COLLATE NOCASE, rowid")},
        {"NKSCLSERIENTEXT", key("SCLSERIENTEXT") + QStringLiteral(", SCLBAND, rowid")},
    };
    for (const OrderCase& o : orders) {
        // Each run starts from another order, so the switch really happens.
        double engine = 1e300;
        for (int run = 0; run < 5; ++run) {
            catalogue.setIndexName(QStringLiteral("PKSCLCOMICID"));
            engine = std::min(engine, bestOf(1, [&] {
                                  catalogue.setIndexName(QLatin1String(o.index));
                                  catalogue.first();
                              }));
        }
        // The engine reads the first window and the count, and on until the current row.
        const double rawMs =
            bestOf(5, [&] { rawFirstWindow(raw.get(), kCatalogue, QString(), o.order, QLatin1String(o.index)); });
        report.add(QStringLiteral("sort: ") + QLatin1String(o.index), engine, rawMs);
    }

    report.add(QStringLiteral("row count (x100)"), bestOf(5, [&] {
                   for (int i = 0; i < 100; ++i)
                       catalogue.recordCount();
               }),
               bestOf(5, [&] {
                   for (int i = 0; i < 100; ++i)
                       rawCollectIds(raw.get(), QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK"));
               }));

    // Three runs each: one run of a few seconds on a shared machine is noise.
    report.add(QStringLiteral("walk catalogue, 3 details following"), bestOf(3, [&] {
                   qint64 seen = 0;
                   for (catalogue.first(); !catalogue.eof(); catalogue.next()) {
                       seen += catalogue.fieldByName(QStringLiteral("SCLTITEL1")).asString().size();
                       seen += data.tblComic2Autor().shownCount() + data.tblAuflagen().shownCount() +
                               data.tblComicLocal().shownCount();
                   }
                   if (seen < 0)
                       throw std::runtime_error("unreachable");
               }),
               [&] {
                   const std::vector<qint64> ids = rawCatalogueIds(raw.get());
                   return bestOf(3, [&] { rawWalk(raw.get(), ids); });
               }());

    // Keys to look for, spread over the collection.
    QStringList keys;
    {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(raw.get(), "SELECT SCLCOMICID FROM SERVERSTRIPOTHEK ORDER BY random() LIMIT 1000", -1, &s,
                           nullptr);
        while (sqlite3_step(s) == SQLITE_ROW)
            keys << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
    }
    report.add(QStringLiteral("locate a key, details following (x1000)"), bestOf(3, [&] {
                   for (const QString& k : keys)
                       catalogue.locate(QStringLiteral("SCLCOMICID"), k);
               }),
               bestOf(3, [&] {
                   // Prepared once, as a hand-written program would.
                   const QByteArray entry = "SELECT rowid, " + storedColumns(QStringLiteral("SERVERSTRIPOTHEK")).toUtf8() +
                                            " FROM SERVERSTRIPOTHEK WHERE SCLCOMICID = ?1 COLLATE NOCASE AND SCLCOMICID = ?1";
                   const char* sqls[] = {
                       "SELECT rowid FROM SERVERSTRIPOTHEK WHERE SCLCOMICID = ?1 COLLATE NOCASE AND SCLCOMICID = ?1",
                       entry.constData(),
                       "SELECT rowid, * FROM COMIC2AUTOR WHERE C2ACOMICID = ?1 COLLATE NOCASE AND C2ACOMICID = ?1",
                       "SELECT rowid, * FROM AUFLAGEN WHERE ALCOMICID = ?1 COLLATE NOCASE AND ALCOMICID = ?1",
                       "SELECT rowid, * FROM LOKALESTRIPOTHEK WHERE LCLSERVERCOMICID = ?1 COLLATE NOCASE AND "
                       "LCLSERVERCOMICID = ?1"};
                   sqlite3_stmt* stmts[5];
                   for (int i = 0; i < 5; ++i)
                       sqlite3_prepare_v2(raw.get(), sqls[i], -1, &stmts[i], nullptr);
                   qint64 seen = 0;
                   for (const QString& k : keys) {
                       const QByteArray key = k.toUtf8();
                       for (sqlite3_stmt* st : stmts) {
                           sqlite3_bind_text(st, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
                           while (sqlite3_step(st) == SQLITE_ROW)
                               seen += sqlite3_column_bytes(st, 1);
                           sqlite3_reset(st);
                       }
                   }
                   for (sqlite3_stmt* st : stmts)
                       sqlite3_finalize(st);
                   if (seen < 0)
                       throw std::runtime_error("unreachable");
               }));

    const double appendMs = bestOf(1, [&] {
        for (int i = 0; i < 1000; ++i) {
            catalogue.append();
            catalogue.fieldByName(QStringLiteral("SCLCOMICID")).setAsString(QStringLiteral("BENCH%1").arg(i));
            catalogue.fieldByName(QStringLiteral("SCLTITEL1")).setAsString(QStringLiteral("Benchmark %1").arg(i));
            catalogue.fieldByName(QStringLiteral("SCLBAND")).setAsInteger(i);
            catalogue.post();
        }
    });
    const double rawAppendMs = bestOf(1, [&] {
        sqlite3_stmt* s = nullptr;
        QStringList cols;
        for (int i = 0; i < catalogue.fieldCount(); ++i)
            cols << catalogue.field(i).fieldName();
        const QByteArray sql = QStringLiteral("INSERT INTO SERVERSTRIPOTHEK (%1) VALUES (%2)")
                                   .arg(cols.join(QLatin1Char(',')),
                                        QStringList(cols.size(), QStringLiteral("?")).join(QLatin1Char(',')))
                                   .toUtf8();
        sqlite3_prepare_v2(raw.get(), sql.constData(), -1, &s, nullptr);
        for (int i = 0; i < 1000; ++i) {
            const QByteArray id = QStringLiteral("RAW%1").arg(i).toUtf8();
            const QByteArray title = QStringLiteral("Benchmark %1").arg(i).toUtf8();
            sqlite3_bind_text(s, 1, id.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(s, 2, title.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(s, 6, i);
            sqlite3_step(s);
            sqlite3_reset(s);
        }
        sqlite3_finalize(s);
    });
    report.add(QStringLiteral("append and post 1000 rows"), appendMs, rawAppendMs);
    rawExec(raw.get(), "DELETE FROM SERVERSTRIPOTHEK WHERE SCLCOMICID LIKE 'BENCH%' OR SCLCOMICID LIKE 'RAW%'");
    catalogue.refresh();
}

} // namespace bench
