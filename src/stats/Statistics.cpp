#include "stats/Statistics.h"

#include "database/Connection.h"
#include "database/FieldNames.h"
#include "database/GermanOrder.h"
#include "database/Statement.h"

#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <exception>
#include <sqlite3.h>
#include <system_error>
#include <thread>

namespace stats {

namespace {

const QString kComponent = QStringLiteral("qryStatistik");

// An integer field as the program reads it: null and text that is no
// number read as 0, a float is rounded.
QString integerOf(const QString& column)
{
    return QStringLiteral("CASE typeof(%1) WHEN 'integer' THEN %1 WHEN 'real' THEN CAST(round(%1) AS INTEGER) "
                          "ELSE 0 END")
        .arg(column);
}

// The currency class of a typed currency: '€' (also EUR, Euro), 'DM', ''
// for none, or the text as typed. The program itself writes only the
// first three, which take the short way.
QString currencyOf(const QString& column)
{
    return QStringLiteral("CASE WHEN %1 = '€' THEN '€' WHEN %1 = 'DM' THEN 'DM' "
                          "WHEN trim(IFNULL(%1, '')) = '' THEN '' "
                          "WHEN trim(%1) = '€' OR upper(trim(%1)) IN ('EUR', 'EURO') THEN '€' "
                          "WHEN upper(trim(%1)) = 'DM' THEN 'DM' ELSE trim(%1) END")
        .arg(column);
}

// A price is a number; anything else counts as no price. Every number
// sorts before every text, the empty one included, and a blob after them;
// null compares to nothing: so this keeps exactly the integer and real
// prices, at a fraction of the cost of asking each value for its type.
const QString kPrice = QStringLiteral("CASE WHEN LCLKPREIS < '' THEN LCLKPREIS END");

QString overviewSql()
{
    return QStringLiteral("SELECT (SELECT count(*) FROM SERVERSTRIPOTHEK), (SELECT count(*) FROM LOKALESTRIPOTHEK), "
                          "(SELECT count(*) FROM SERIEN), (SELECT count(*) FROM AUTOREN), "
                          "(SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLFEHLT = 1), "
                          "(SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLZUKAUFEN = 1)");
}

// The missing-volumes rule over the whole catalogue in series order. A run
// is a stretch of entries with the same series id; the report's count
// stands, after the n entries of a run, at
//     1 + n + max(0, max over owned, unflagged entries of (volume - place)),
// place being the entry's position in the run, counted from 1. So a run
// misses its unowned and flagged entries, plus that many gap numbers.
// The entries are numbered in series order by a table of the connection's
// own, whose integer key counts them as they come in from the series index
// (a window function costs several times as much). What the rule needs of
// each entry is read in file order, which is far faster than jumping about
// the catalogue in series order, and joined to its number in memory. A run
// begins where the series id differs from the entry before, and each run is
// summed over its range of numbers, which SQLite reads in order, without
// sorting.
const QString kOrder = QStringLiteral("temp.statOrder");
const QString kRows = QStringLiteral("temp.statRows");
const QString kEntries = QStringLiteral("temp.statEntries");
const QString kRuns = QStringLiteral("temp.statRuns");

QStringList seriesTablesSql(sqlite3* handle)
{
    // Exactly the order of the catalogue's series index, so that SQLite walks it.
    const QString order = db::germanKeySql(handle, db::fields::SCLSERIENTEXT) + QStringLiteral(", SCLBAND, rowid");
    // No column types: ids and volumes keep the type they are stored with.
    return {QStringLiteral("CREATE TABLE %1 (pos INTEGER PRIMARY KEY, rid)").arg(kOrder),
            QStringLiteral("INSERT INTO %1 (rid) SELECT rowid FROM SERVERSTRIPOTHEK ORDER BY %2").arg(kOrder, order),
            QStringLiteral("CREATE TABLE %1 (rid INTEGER PRIMARY KEY, sid, volume, owned, flagged)").arg(kRows),
            QStringLiteral(
                "INSERT INTO %1 SELECT t.rowid, IFNULL(t.SCLSERIEID, ''), %2,"
                " EXISTS (SELECT 1 FROM LOKALESTRIPOTHEK WHERE LCLSERVERCOMICID = IFNULL(t.SCLCOMICID, '')"
                " COLLATE NOCASE AND LCLSERVERCOMICID = IFNULL(t.SCLCOMICID, '')), %3 = 1"
                " FROM SERVERSTRIPOTHEK t")
                .arg(kRows, integerOf(QStringLiteral("t.SCLBAND")), integerOf(QStringLiteral("t.SCLFEHLT"))),
            QStringLiteral("CREATE TABLE %1 (pos INTEGER PRIMARY KEY, rid, sid, volume, owned, flagged)").arg(kEntries),
            QStringLiteral("INSERT INTO %1 SELECT o.pos, o.rid, r.sid, r.volume, r.owned, r.flagged"
                           " FROM %2 o JOIN %3 r ON r.rid = o.rid ORDER BY o.pos")
                .arg(kEntries, kOrder, kRows),
            QStringLiteral("CREATE TABLE %1 (first INTEGER PRIMARY KEY)").arg(kRuns),
            QStringLiteral("INSERT INTO %1 SELECT e.pos FROM %2 e LEFT JOIN %2 p ON p.pos = e.pos - 1"
                           " WHERE p.sid IS NOT e.sid")
                .arg(kRuns, kEntries)};
}

QStringList dropSeriesTablesSql()
{
    QStringList drops;
    for (const QString& table : {kOrder, kRows, kEntries, kRuns})
        drops << QStringLiteral("DROP TABLE IF EXISTS %1").arg(table);
    return drops;
}

QString seriesSql()
{
    return QStringLiteral(
               "WITH runs AS MATERIALIZED (SELECT r.first AS first, e.sid AS sid, count(*) AS n, sum(e.owned) AS owned,"
               " sum(e.owned AND NOT e.flagged) AS complete,"
               " max(CASE WHEN e.owned AND NOT e.flagged THEN e.volume - (e.pos - r.first + 1) END) AS reach"
               " FROM %2 r JOIN %1 e ON e.pos >= r.first"
               " AND e.pos < IFNULL((SELECT min(n.first) FROM %2 n WHERE n.first > r.first), 9223372036854775807)"
               " GROUP BY r.first),"
               " bySeries AS (SELECT sid, min(first) AS first, sum(n) AS entries, sum(owned) AS owned,"
               " sum(complete) AS complete, sum(n - complete + max(0, IFNULL(reach, 0))) AS missing"
               " FROM runs WHERE sid <> '' GROUP BY sid)"
               " SELECT b.sid, IFNULL(s.SCLSERIENTEXT, ''), IFNULL(s.SCLVERLAGTEXT, ''), b.entries, b.owned,"
               " b.missing, b.complete"
               " FROM bySeries b JOIN %1 f ON f.pos = b.first JOIN SERVERSTRIPOTHEK s ON s.rowid = f.rid"
               " ORDER BY b.first")
        .arg(kEntries, kRuns);
}

// One pass over the copies for the value per publisher and the purchases
// per year: the copies are grouped once by publisher, typed currency and
// year, and both tables are sums of those few thousand groups. Sorting the
// copies is most of the work, so it is done once, with the publisher first,
// which tells most rows apart at the first column. The currency is classed
// per group instead of per copy. The year is the leading number of the
// date: the same as strftime('%Y') for every value, valid or not, at half
// its cost.
// Rows: kind 0 a publisher (catalogued, publisher), kind 1 a year and
// currency class (year, class); then copies, copies with a price, the sum of
// the prices, the euro and mark sums, the prices in another currency.
QString copiesSql()
{
    return QStringLiteral(
               "WITH g AS MATERIALIZED (SELECT IFNULL(s.SCLVERLAGTEXT, '') AS publisher, l.LCLKPREISWG AS typed,"
               " s.rowid IS NOT NULL AS catalogued, CAST(date(l.LCKKDATUM) AS INTEGER) AS year,"
               " count(*) AS n, count(%1) AS priced, total(%1) AS amount"
               " FROM LOKALESTRIPOTHEK l LEFT JOIN SERVERSTRIPOTHEK s"
               " ON s.SCLCOMICID = l.LCLSERVERCOMICID COLLATE NOCASE AND s.SCLCOMICID = l.LCLSERVERCOMICID"
               " GROUP BY 1, 2, 3, 4),"
               " classed AS (SELECT publisher, catalogued, year, %2 AS currency, n, priced, amount FROM g)"
               " SELECT 0 AS kind, catalogued AS a, publisher AS b, sum(n), sum(priced), total(amount),"
               " total(amount) FILTER (WHERE currency = '€'), total(amount) FILTER (WHERE currency = 'DM'),"
               " IFNULL(sum(priced) FILTER (WHERE currency NOT IN ('€', 'DM')), 0), %3 AS sortKey"
               " FROM classed GROUP BY catalogued, publisher"
               " UNION ALL SELECT 1, year, currency, sum(n), sum(priced), total(amount), 0, 0, 0, NULL"
               " FROM classed GROUP BY year, currency"
               " ORDER BY kind, a DESC, sortKey, b")
        .arg(kPrice, currencyOf(QStringLiteral("typed")), db::germanKeyCall(QStringLiteral("publisher")));
}

// Every condition of the list, also those no copy has; then the copies
// without a condition and those whose condition is not in the list.
QString conditionsSql()
{
    return QStringLiteral(
               "WITH counted AS MATERIALIZED (SELECT IFNULL(LCLZUSTANDID, '') AS id, count(*) AS copies"
               " FROM LOKALESTRIPOTHEK GROUP BY 1)"
               " SELECT 0 AS kind, IFNULL(z.ZWNAME, '') AS name, CAST(total(c.copies) AS INTEGER) AS copies,"
               " %1 AS sortKey FROM ZUSTANDSARTEN z LEFT JOIN counted c ON c.id = z.ZWID GROUP BY 2"
               " UNION ALL SELECT 1, '', n, '' FROM (SELECT CAST(total(copies) AS INTEGER) AS n FROM counted"
               " WHERE id = '') WHERE n > 0"
               " UNION ALL SELECT 2, '', n, '' FROM (SELECT CAST(total(copies) AS INTEGER) AS n FROM counted"
               " WHERE id <> '' AND NOT EXISTS (SELECT 1 FROM ZUSTANDSARTEN WHERE ZWID = counted.id)) WHERE n > 0"
               " ORDER BY kind, sortKey, name")
        .arg(db::germanKeyCall(QStringLiteral("IFNULL(z.ZWNAME, '')")));
}

// Runs one statement and hands each row to read.
template <class Read>
void eachRow(sqlite3* handle, const QString& sql, Read read)
{
    db::Statement statement(handle, sql, kComponent);
    while (statement.step())
        read(statement);
}

Currency currencyClass(const QString& text)
{
    if (text.isEmpty())
        return Currency::None;
    if (text == QStringLiteral("€"))
        return Currency::Euro;
    if (text == QLatin1String("DM"))
        return Currency::Mark;
    return Currency::Other;
}

void readOverview(sqlite3* handle, Figures& f)
{
    eachRow(handle, overviewSql(), [&](const db::Statement& row) {
        f.overview = {row.columnInt64(0), row.columnInt64(1), row.columnInt64(2),
                      row.columnInt64(3), row.columnInt64(4), row.columnInt64(5)};
    });
}

void run(sqlite3* handle, const QString& sql)
{
    db::Statement(handle, sql, kComponent).exec();
}

// The series' working tables last one reading: a connection that stays
// open (the program's own) keeps none of them, whichever way it ends.
struct DropSeriesTables {
    sqlite3* handle;
    ~DropSeriesTables()
    {
        for (const QString& sql : dropSeriesTablesSql()) {
            try {
                run(handle, sql);
            } catch (...) {
                // The next reading drops them before it starts.
            }
        }
    }
};

void readSeries(sqlite3* handle, Figures& f)
{
    const DropSeriesTables drop{handle};
    for (const QString& sql : dropSeriesTablesSql() + seriesTablesSql(handle))
        run(handle, sql);
    eachRow(handle, seriesSql(), [&](const db::Statement& row) {
        f.series.append({row.column(0).toString(), row.column(1).toString(), row.column(2).toString(),
                         row.columnInt64(3), row.columnInt64(4), row.columnInt64(5), row.columnInt64(6)});
    });
}

void readConditions(sqlite3* handle, Figures& f)
{
    eachRow(handle, conditionsSql(), [&](const db::Statement& row) {
        f.conditions.append({ConditionFigures::Kind(row.columnInt64(0)), row.column(1).toString(), row.columnInt64(2)});
    });
}

// The publishers, currencies and years, all from the one grouping of the copies.
void readCopies(sqlite3* handle, Figures& f)
{
    QMap<int, YearFigures> years;
    YearFigures undated;
    QMap<QString, CurrencyFigures> currencies;
    eachRow(handle, copiesSql(), [&](const db::Statement& row) {
        const qint64 copies = row.columnInt64(3);
        const qint64 priced = row.columnInt64(4);
        if (row.columnInt64(0) == 0) {
            PublisherFigures p;
            p.inCatalogue = row.columnInt64(1) != 0;
            p.publisher = row.column(2).toString();
            p.copies = copies;
            p.withoutPrice = copies - priced;
            p.euroSum = row.column(6).toDouble();
            p.markSum = row.column(7).toDouble();
            p.otherPrices = row.columnInt64(8);
            if (!p.inCatalogue)
                f.copiesWithoutComic = p.copies;
            f.publishers.append(p);
            return;
        }
        const QString text = row.column(2).toString();
        const double amount = row.column(5).toDouble();
        CurrencyFigures& c = currencies[text];
        c.text = text;
        c.currency = currencyClass(text);
        c.copies += copies;
        c.withoutPrice += copies - priced;
        c.sum += amount;
        YearFigures& y = row.columnIsNull(1) ? undated : years[int(row.columnInt64(1))];
        if (!row.columnIsNull(1))
            y.year = int(row.columnInt64(1));
        y.copies += copies;
        y.withoutPrice += copies - priced;
        switch (c.currency) {
        case Currency::Euro:
            y.euro += amount;
            break;
        case Currency::Mark:
            y.euro += amount / kMarkPerEuro;
            break;
        default:
            y.otherPrices += priced;
        }
    });
    for (const YearFigures& y : std::as_const(years))
        f.years.append(y);
    if (undated.copies > 0)
        f.years.append(undated);
    // €, DM, the other texts in German order, none last.
    QList<CurrencyFigures> others;
    for (const CurrencyFigures& c : std::as_const(currencies)) {
        f.copiesWithoutPrice += c.withoutPrice;
        if (c.currency == Currency::Other)
            others.append(c);
    }
    std::sort(others.begin(), others.end(), [](const CurrencyFigures& a, const CurrencyFigures& b) {
        return db::germanCompare(a.text, b.text) < 0;
    });
    for (const Currency kind : {Currency::Euro, Currency::Mark})
        for (const CurrencyFigures& c : std::as_const(currencies))
            if (c.currency == kind)
                f.currencies.append(c);
    f.currencies.append(others);
    if (currencies.contains(QString()))
        f.currencies.append(currencies.value(QString()));
}

// The overview, the series and the conditions on one connection, the
// grouping of the copies on the other: the two take about equally long.
void readOverviewAndSeries(sqlite3* handle, Figures& f)
{
    readOverview(handle, f);
    readSeries(handle, f);
    readConditions(handle, f);
}

void readCopyFigures(sqlite3* handle, Figures& f)
{
    readCopies(handle, f);
}

// A connection of its own, read-only, to the file the program has open.
void openReader(db::Connection& reader, const QString& file)
{
    reader.setReadOnly(true);
    reader.setDatabasePath(QFileInfo(file).absolutePath());
    reader.connect();
    // The series' working tables stay in memory, as sorting does.
    run(reader.handle(), QStringLiteral("PRAGMA temp_store = MEMORY"));
}

void begin(sqlite3* handle)
{
    db::Statement(handle, QStringLiteral("BEGIN"), kComponent).exec();
}

// Changes whenever another connection has committed since this one last
// read; inside a transaction it also starts the transaction's snapshot.
qint64 dataVersion(sqlite3* handle)
{
    db::Statement statement(handle, QStringLiteral("PRAGMA data_version"), kComponent);
    statement.step();
    return statement.columnInt64(0);
}

bool isInterruption(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const db::EngineError& e) {
        return (e.code() & 0xff) == SQLITE_INTERRUPT;
    } catch (...) {
        return false;
    }
}

// The overview and the series on the second connection, on a thread of their
// own, the rest on the first, at once. A failure on one side stops the other,
// and the first failure is the one reported.
void readInParallel(sqlite3* first, sqlite3* second, Figures& f)
{
    Figures overviewAndSeries;
    std::exception_ptr workerError;
    std::exception_ptr ownError;
    std::thread worker;
    try {
        worker = std::thread([&] {
            try {
                readOverviewAndSeries(second, overviewAndSeries);
            } catch (...) {
                workerError = std::current_exception();
                sqlite3_interrupt(first);
            }
        });
    } catch (const std::system_error&) {
        // No thread to be had: the same figures, one after the other.
        readOverviewAndSeries(first, f);
        readCopyFigures(first, f);
        return;
    }
    try {
        readCopyFigures(first, f);
    } catch (...) {
        ownError = std::current_exception();
        sqlite3_interrupt(second);
    }
    worker.join();
    if (workerError && (!ownError || isInterruption(ownError)))
        std::rethrow_exception(workerError);
    if (ownError)
        std::rethrow_exception(ownError);
    f.overview = overviewAndSeries.overview;
    f.series = std::move(overviewAndSeries.series);
    f.conditions = std::move(overviewAndSeries.conditions);
    f.readInParallel = true;
}

} // namespace

double SeriesFigures::completeness() const
{
    const qint64 expected = complete + missing;
    return expected > 0 ? 100.0 * double(complete) / double(expected) : 0.0;
}

std::optional<double> CurrencyFigures::euro() const
{
    switch (currency) {
    case Currency::Euro:
        return sum;
    case Currency::Mark:
        return sum / kMarkPerEuro;
    default:
        return std::nullopt;
    }
}

QStringList FigureStatements(sqlite3* handle)
{
    return QStringList{overviewSql()} + dropSeriesTablesSql() + seriesTablesSql(handle) +
           QStringList{seriesSql(), conditionsSql(), copiesSql()} + dropSeriesTablesSql();
}

Figures ComputeFigures(db::Connection& connection)
{
    // One snapshot: every figure from the same state of the file.
    connection.beginRead();
    sqlite3* handle = connection.handle();
    Figures f;
    readOverviewAndSeries(handle, f);
    readCopyFigures(handle, f);
    return f;
}

Figures ComputeFiguresInParallel(db::Connection& connection, const std::function<void()>& betweenSnapshots)
{
    sqlite3* own = connection.handle();
    // A write not yet committed is seen by the program's connection alone;
    // a file held for exclusive use lets no other connection in.
    if (connection.inTransaction() || connection.exclusive())
        return ComputeFigures(connection);
    const QString file = QString::fromUtf8(sqlite3_db_filename(own, "main"));
    // Opened for this computation only: a connection kept open would stop
    // packing and emptying, which need the file to themselves.
    db::Connection first(kComponent);
    db::Connection second(kComponent);
    bool sameState = false;
    try {
        openReader(first, file);
        openReader(second, file);
        // Another program may commit between the two snapshots. Seen from
        // the second connection, the first snapshot falls between its two
        // reads of the data version: unchanged, both saw the same state.
        const qint64 before = dataVersion(second.handle());
        begin(first.handle());
        dataVersion(first.handle());
        if (betweenSnapshots)
            betweenSnapshots();
        begin(second.handle());
        sameState = dataVersion(second.handle()) == before;
    } catch (const db::Error&) {
        // What keeps a second look at the file out (its rights, a locked
        // index of the log) still lets the program's own connection read it.
        return ComputeFigures(connection);
    }
    Figures f;
    if (sameState) {
        readInParallel(first.handle(), second.handle(), f);
    } else {
        readOverviewAndSeries(first.handle(), f);
        readCopyFigures(first.handle(), f);
    }
    return f;
}

} // namespace stats
