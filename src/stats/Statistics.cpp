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

// A price is a number; anything else counts as no price.
const QString kPrice = QStringLiteral("CASE WHEN typeof(LCLKPREIS) IN ('integer', 'real') THEN LCLKPREIS END");

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
// Positions come from the series index alone; the rows are then read in
// file order, which is several times faster than in index order. A series
// whose entries follow each other is one run; only the others (two series
// of one name, entries without a series between) are cut into runs, where
// position minus rank in the series is constant within a run.
QString seriesSql()
{
    // Exactly the order of the catalogue's series index, so that SQLite walks it.
    const QString order = db::germanKeySql(db::fields::SCLSERIENTEXT) + QStringLiteral(", SCLBAND, rowid");
    return QStringLiteral(
               "WITH ord AS MATERIALIZED (SELECT rowid AS rid, row_number() OVER (ORDER BY %3) AS pos"
               " FROM SERVERSTRIPOTHEK),"
               " walk AS MATERIALIZED (SELECT t.rowid AS rid, IFNULL(t.SCLSERIEID, '') AS sid, %1 AS volume,"
               " EXISTS (SELECT 1 FROM LOKALESTRIPOTHEK WHERE LCLSERVERCOMICID = IFNULL(t.SCLCOMICID, '')"
               " COLLATE NOCASE AND LCLSERVERCOMICID = IFNULL(t.SCLCOMICID, '')) AS owned,"
               " %2 = 1 AS flagged, o.pos AS pos FROM SERVERSTRIPOTHEK t CROSS JOIN ord o ON o.rid = t.rowid),"
               " bySeries AS MATERIALIZED (SELECT sid, count(*) AS entries, sum(owned) AS owned,"
               " sum(owned AND NOT flagged) AS complete,"
               " max(CASE WHEN owned AND NOT flagged THEN volume - pos END) AS reach, min(pos) AS first, rid,"
               " sum(pos) = count(*) * min(pos) + count(*) * (count(*) - 1) / 2 AS oneRun"
               " FROM walk WHERE sid <> '' GROUP BY sid),"
               " ranked AS (SELECT sid, pos, volume, owned AND NOT flagged AS ok,"
               " row_number() OVER (PARTITION BY sid ORDER BY pos) AS k FROM walk"
               " WHERE sid IN (SELECT sid FROM bySeries WHERE NOT oneRun)),"
               " gaps AS (SELECT sid, sum(max(0, IFNULL(reach, 0))) AS gap FROM"
               " (SELECT sid, max(CASE WHEN ok THEN volume - k END) + min(k) - 1 AS reach FROM ranked"
               " GROUP BY sid, pos - k) GROUP BY sid)"
               " SELECT b.sid, IFNULL(s.SCLSERIENTEXT, ''), IFNULL(s.SCLVERLAGTEXT, ''), b.entries, b.owned,"
               " b.entries - b.complete + CASE WHEN b.oneRun THEN max(0, IFNULL(b.reach + b.first - 1, 0))"
               " ELSE IFNULL(g.gap, 0) END, b.complete"
               " FROM bySeries b JOIN SERVERSTRIPOTHEK s ON s.rowid = b.rid LEFT JOIN gaps g ON g.sid = b.sid"
               " ORDER BY b.first")
        .arg(integerOf(QStringLiteral("t.SCLBAND")), integerOf(QStringLiteral("t.SCLFEHLT")), order);
}

// One pass over the copies for the value per publisher and the purchases
// per year: the copies are grouped once by publisher, typed currency and
// year, and both tables are sums of those few thousand groups. Sorting the
// copies is most of the work, so it is done once, with the publisher first,
// which tells most rows apart at the first column. The currency is classed
// per group instead of per copy.
// Rows: kind 0 a publisher (catalogued, publisher), kind 1 a year and
// currency class (year, class); then copies, copies with a price, the sum of
// the prices, the euro and mark sums, the prices in another currency.
QString copiesSql()
{
    return QStringLiteral(
               "WITH g AS MATERIALIZED (SELECT IFNULL(s.SCLVERLAGTEXT, '') AS publisher, l.LCLKPREISWG AS typed,"
               " s.rowid IS NOT NULL AS catalogued, CAST(strftime('%Y', l.LCKKDATUM) AS INTEGER) AS year,"
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
        .arg(kPrice, currencyOf(QStringLiteral("typed")), db::germanKeySql(QStringLiteral("publisher")));
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
        .arg(db::germanKeySql(QStringLiteral("IFNULL(z.ZWNAME, '')")));
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

void readSeries(sqlite3* handle, Figures& f)
{
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

// The overview and the series on one connection, the copies' figures on the
// other: the two take about equally long.
void readOverviewAndSeries(sqlite3* handle, Figures& f)
{
    readOverview(handle, f);
    readSeries(handle, f);
}

void readCopyFigures(sqlite3* handle, Figures& f)
{
    readConditions(handle, f);
    readCopies(handle, f);
}

// A connection of its own, read-only, to the file the program has open.
void openReader(db::Connection& reader, const QString& file)
{
    reader.setReadOnly(true);
    reader.setDatabasePath(QFileInfo(file).absolutePath());
    reader.connect();
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

QStringList FigureStatements()
{
    return {overviewSql(), seriesSql(), copiesSql(), conditionsSql()};
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
