#include "stats/Statistics.h"

#include "database/Connection.h"
#include "database/FieldNames.h"
#include "database/GermanOrder.h"
#include "database/Field.h"
#include "database/MissingVolumes.h"
#include "database/Statement.h"
#include "database/Table.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QMap>

#include <algorithm>
#include <exception>
#include <sqlite3.h>
#include <system_error>
#include <thread>

namespace stats {

namespace {

const QString kComponent = QStringLiteral("qryStatistik");

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

// The year of a purchase date, or null where the date is none: the function
// of registerPurchaseYear.
const QString kPurchaseYear = QStringLiteral("stripothek_kaufjahr");

int yearOf(const QVariant& stored)
{
    const QDateTime date = db::storedDateTime(stored);
    return date.isValid() ? date.date().year() : 0;
}

void purchaseYear(sqlite3_context* context, int, sqlite3_value** arguments)
{
    sqlite3_value* value = arguments[0];
    int year = 0;
    switch (sqlite3_value_type(value)) {
    case SQLITE_NULL:
        sqlite3_result_null(context);
        return;
    case SQLITE_TEXT:
        year = db::storedYear(reinterpret_cast<const char*>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
        break;
    // What else a date field may hold, read as the program reads it.
    case SQLITE_INTEGER:
        year = yearOf(qint64(sqlite3_value_int64(value)));
        break;
    case SQLITE_FLOAT:
        year = yearOf(sqlite3_value_double(value));
        break;
    default:
        year = yearOf(QByteArray(static_cast<const char*>(sqlite3_value_blob(value)), sqlite3_value_bytes(value)));
    }
    if (year == 0)
        sqlite3_result_null(context);
    else
        sqlite3_result_int(context, year);
}

// One pass over the copies for the value per publisher and the purchases
// per year: the copies are grouped once by publisher, typed currency and
// year, and both tables are sums of those few thousand groups. Sorting the
// copies is most of the work, so it is done once, with the publisher first,
// which tells most rows apart at the first column. The currency is classed
// per group instead of per copy. The year is read from the date as the
// own-copy dialog reads it (kPurchaseYear).
// Rows: kind 0 a publisher (catalogued, publisher), kind 1 a year and
// currency class (year, class); then copies, copies with a price, the sum of
// the prices, the euro and mark sums, the prices in another currency.
QString copiesSql()
{
    return QStringLiteral(
               "WITH g AS MATERIALIZED (SELECT IFNULL(s.SCLVERLAGTEXT, '') AS publisher, l.LCLKPREISWG AS typed,"
               " s.rowid IS NOT NULL AS catalogued, %4(l.LCKKDATUM) AS year,"
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
        .arg(kPrice, currencyOf(QStringLiteral("typed")), db::germanKeyCall(QStringLiteral("publisher")),
             kPurchaseYear);
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

// Counts a series' entries and lines as the missing-volumes report reads
// them, through the report's own rule: the two agree by construction.
class SeriesCounter {
public:
    explicit SeriesCounter(Figures& f) : m_f(f) {}

    void entry(const db::SeriesRun& run, const db::VolumeEntry& e, const db::Statement& row)
    {
        SeriesFigures& s = series(run);
        ++s.catalogued;
        s.owned += e.owned;
        s.complete += e.owned && !e.flagged;
        Publishers& p = m_publishers[size_t(m_current)];
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row.raw(), db::kFirstExtraColumn));
        const QByteArrayView name = text ? QByteArrayView(text, sqlite3_column_bytes(row.raw(), db::kFirstExtraColumn))
                                         : QByteArrayView();
        // Entries of a series mostly share their publisher: the one counted
        // last is the one to try first.
        if (p.last >= 0 && p.counts[size_t(p.last)].first == name) {
            ++p.counts[size_t(p.last)].second;
            return;
        }
        const auto found = std::find_if(p.counts.begin(), p.counts.end(), [&](const auto& c) { return c.first == name; });
        if (found != p.counts.end()) {
            ++found->second;
            p.last = int(found - p.counts.begin());
            return;
        }
        p.counts.emplace_back(name.toByteArray(), 1);
        p.last = int(p.counts.size() - 1);
    }

    void missing(const db::SeriesRun& run) { ++series(run).missing; }

    // The publisher of most of each series' entries; of equally many, the
    // one met first in series order.
    void finish()
    {
        for (size_t i = 0; i < m_publishers.size(); ++i) {
            const auto& counts = m_publishers[i].counts;
            const auto most = std::max_element(counts.begin(), counts.end(),
                                               [](const auto& a, const auto& b) { return a.second < b.second; });
            if (most != counts.end())
                m_f.series[qsizetype(i)].publisher = QString::fromUtf8(most->first);
        }
    }

private:
    struct Publishers {
        std::vector<std::pair<QByteArray, qint64>> counts;
        int last = -1;
    };

    SeriesFigures& series(const db::SeriesRun& run)
    {
        if (m_current < 0 || m_f.series[m_current].seriesId != run.seriesId) {
            const auto known = m_index.constFind(run.seriesId);
            if (known != m_index.constEnd()) {
                m_current = *known;
            } else {
                m_current = int(m_f.series.size());
                m_index.insert(run.seriesId, m_current);
                SeriesFigures s;
                s.seriesId = run.seriesId;
                s.name = run.seriesName;
                m_f.series.append(s);
                m_publishers.emplace_back();
            }
        }
        return m_f.series[m_current];
    }

    Figures& m_f;
    QHash<QString, int> m_index;
    std::vector<Publishers> m_publishers;
    int m_current = -1;
};

// Reading the catalogue in series order jumps about its rows: with the
// series index and the copies' index beside them they fill more than the
// connection's usual page cache at 100,000 volumes, and pages dropped would
// be read again and again. A larger cache for the walk, and the usual one
// afterwards (sorting the copies is faster with the smaller one).
class LargerPageCache {
public:
    explicit LargerPageCache(sqlite3* handle) : m_handle(handle)
    {
        db::Statement size(handle, QStringLiteral("PRAGMA cache_size"), kComponent);
        size.step();
        m_usual = size.columnInt64(0);
        run(handle, QStringLiteral("PRAGMA cache_size = -65536"));
    }
    ~LargerPageCache()
    {
        try {
            run(m_handle, QStringLiteral("PRAGMA cache_size = %1").arg(m_usual));
        } catch (...) {
            // Only memory: the connection works with either size.
        }
    }
    LargerPageCache(const LargerPageCache&) = delete;
    LargerPageCache& operator=(const LargerPageCache&) = delete;

private:
    sqlite3* m_handle;
    qint64 m_usual = 0;
};

void readSeries(db::Connection& connection, Figures& f)
{
    const LargerPageCache cache(connection.handle());
    db::Table catalogue(connection, kComponent, QStringLiteral("SERVERSTRIPOTHEK"));
    catalogue.setIndexName(QStringLiteral("NKSCLSERIENTEXT"));
    catalogue.open();
    SeriesCounter counter(f);
    db::WalkMissingVolumes(
        catalogue,
        {[&](const db::SeriesRun& run, const db::VolumeEntry& e, const db::Statement& row) { counter.entry(run, e, row); },
         [&](const db::SeriesRun& run, const db::MissingVolume&) { counter.missing(run); }},
        {db::fields::SCLVERLAGTEXT});
    counter.finish();
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
void readOverviewAndSeries(db::Connection& connection, Figures& f)
{
    readOverview(connection.handle(), f);
    readSeries(connection, f);
    readConditions(connection.handle(), f);
}

void readCopyFigures(db::Connection& connection, Figures& f)
{
    registerPurchaseYear(connection.handle());
    readCopies(connection.handle(), f);
}

// A connection of its own, read-only, to the file the program has open.
void openReader(db::Connection& reader, const QString& file)
{
    reader.setReadOnly(true);
    reader.setDatabasePath(QFileInfo(file).absolutePath());
    reader.connect();
    // The groupings of the copies sort in memory.
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
void readInParallel(db::Connection& first, db::Connection& second, Figures& f)
{
    Figures overviewAndSeries;
    std::exception_ptr workerError;
    std::exception_ptr ownError;
    sqlite3* const firstHandle = first.handle();
    sqlite3* const secondHandle = second.handle();
    std::thread worker;
    try {
        worker = std::thread([&] {
            try {
                readOverviewAndSeries(second, overviewAndSeries);
            } catch (...) {
                workerError = std::current_exception();
                sqlite3_interrupt(firstHandle);
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
        sqlite3_interrupt(secondHandle);
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

void registerPurchaseYear(sqlite3* handle)
{
    const int rc = sqlite3_create_function_v2(handle, kPurchaseYear.toUtf8().constData(), 1,
                                              SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, purchaseYear, nullptr,
                                              nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw db::EngineError(kComponent, QString::fromUtf8(sqlite3_errstr(rc)), rc);
}

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
    // The series' walk as the catalogue table runs it, in series order.
    const QString walk = QStringLiteral("SELECT %1 FROM SERVERSTRIPOTHEK ORDER BY %2, SCLBAND, rowid")
                             .arg((db::missingVolumeColumns() << db::fields::SCLVERLAGTEXT).join(QLatin1Char(',')),
                                  db::germanKeySql(handle, db::fields::SCLSERIENTEXT));
    return {overviewSql(), walk, conditionsSql(), copiesSql()};
}

Figures ComputeFigures(db::Connection& connection)
{
    // One snapshot: every figure from the same state of the file.
    connection.beginRead();
    Figures f;
    readOverviewAndSeries(connection, f);
    readCopyFigures(connection, f);
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
        readInParallel(first, second, f);
    } else {
        readOverviewAndSeries(first, f);
        readCopyFigures(first, f);
    }
    return f;
}

} // namespace stats
