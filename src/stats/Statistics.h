#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

struct sqlite3;

namespace db {
class Connection;
}

namespace stats {

// Marks per euro, fixed when the euro came.
inline constexpr double kMarkPerEuro = 1.95583;

struct Overview {
    qint64 volumes = 0;
    qint64 copies = 0;
    qint64 series = 0;          // rows of the series list
    qint64 authors = 0;         // rows of the author list
    qint64 flaggedMissing = 0;  // catalogue entries flagged as missing
    qint64 toBuy = 0;           // catalogue entries marked to be bought
};

// A series as the missing-volumes report sees it: its catalogue entries in
// series order, counted run by run with the report's rule.
struct SeriesFigures {
    QString seriesId;
    QString name;      // the name copied into its first entry
    QString publisher; // the publisher of most of its entries (of equally many, the first met)
    qint64 catalogued = 0;
    qint64 owned = 0;    // entries with at least one own copy
    qint64 missing = 0;  // what the report would list
    qint64 complete = 0; // owned and not flagged as missing
    // complete out of complete + missing, in percent.
    double completeness() const;
};

// Prices are told apart by their currency text: "€" (also "EUR", "Euro"),
// "DM", none, or any other text, which is kept as it was typed.
enum class Currency { Euro, Mark, None, Other };

struct CurrencyFigures {
    Currency currency = Currency::None;
    QString text;       // the typed text, for Other
    qint64 copies = 0;
    qint64 withoutPrice = 0; // no price, or a text that is no number
    double sum = 0;
    // The sum in euros, where the currency has a known rate.
    std::optional<double> euro() const;
};

struct PublisherFigures {
    QString publisher;        // as copied into the catalogue entry; empty for none
    bool inCatalogue = true;  // false: the copies whose comic is no longer catalogued
    qint64 copies = 0;
    qint64 withoutPrice = 0;
    double euroSum = 0;
    double markSum = 0;
    qint64 otherPrices = 0;   // prices without a currency or in another one
    double euroTotal() const { return euroSum + markSum / kMarkPerEuro; }
};

struct ConditionFigures {
    enum class Kind { Named, None, Unknown } kind = Kind::Named;
    QString name;
    qint64 copies = 0;
};

struct YearFigures {
    std::optional<int> year; // none: no purchase date, or one that is no date
    qint64 copies = 0;
    qint64 withoutPrice = 0;
    double euro = 0;          // euro and mark prices, in euros
    qint64 otherPrices = 0;
};

struct Figures {
    Overview overview;
    qint64 copiesWithoutComic = 0;
    qint64 copiesWithoutPrice = 0;
    QList<SeriesFigures> series;       // in series order
    QList<CurrencyFigures> currencies; // €, DM, other texts, none
    QList<PublisherFigures> publishers; // German order; the uncatalogued last
    QList<ConditionFigures> conditions; // every condition of the list, then none, unknown
    QList<YearFigures> years;          // ascending, without a date last
    bool readInParallel = false;       // two connections read them at once
};

// Computes every figure of the statistics window with SQL aggregates, in one
// read transaction. The catalogue is taken as stored: no table filter applies.
Figures ComputeFigures(db::Connection& connection);

// The same figures, read by two read-only connections of their own at once,
// each on its own thread, from one state of the file: the window's way on a
// machine with two cores. Falls back to reading on one connection where a
// second one could not see the same state (another program committed
// between the two snapshots, a write of the program's own not yet committed,
// the file held for exclusive use). betweenSnapshots, if given, runs after
// the first snapshot and before the second: a test commits there.
Figures ComputeFiguresInParallel(db::Connection& connection, const std::function<void()>& betweenSnapshots = {});

// The statements behind ComputeFigures, for measuring them on their own:
// they need registerPurchaseYear on their connection.
QStringList FigureStatements(sqlite3* handle);

// The SQL function with which the figures read the year of a purchase date
// as the own-copy dialog reads the date: a number or text that is no date
// there gives no year.
void registerPurchaseYear(sqlite3* handle);

} // namespace stats
