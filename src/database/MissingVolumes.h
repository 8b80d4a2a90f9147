#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace db {

class Statement;
class Table;

// A gap of more numbers than this is no gap a series has: one mistyped
// volume number makes it. It is listed as one line that names the range.
inline constexpr qint64 kLargestGap = 100000;

// A volume number as the catalogue reads it: an integer as stored, a float
// rounded, anything else (null, text) no number.
QString volumeNumberSql(const QString& column);

// A catalogue entry of a series, as the rule judges it.
struct VolumeEntry {
    qint64 rowId = 0;
    qint64 number = 0;
    bool numbered = false;
    bool owned = false;   // the user has at least one copy
    bool flagged = false; // marked as missing from the collection
    QString title;        // read for the entries the rule lists only
    bool missing() const { return !owned || flagged; }
    bool closesGaps() const { return owned && !flagged && numbered; }
};

// A series as the rule judges it: every entry read with its series id,
// wherever the series order puts them.
struct SeriesRun {
    QString seriesId;
    QString seriesName; // as copied into the first of its entries read
};

// One line of the missing-volumes report.
struct MissingVolume {
    enum class Kind {
        Volume,  // a catalogued entry, under its own number, with its title
        Gap,     // a number no entry of the run carries
        LongGap, // more than kLargestGap such numbers in a row, as one line
    };
    Kind kind = Kind::Volume;
    // Volume: the entry listed; the gaps: the owned entry above them, whose
    // number makes them gaps.
    const VolumeEntry* entry = nullptr;
    qint64 first = 0; // the gaps: their first number (a Gap has only this one)
    qint64 last = 0;
    // A LongGap's line: "2–200000: 199.999 Bände fehlen – bitte Bandnummer prüfen".
    QString text() const;
};

// What a walk hands its caller.
struct MissingVolumesSink {
    // Each entry that belongs to a series, as it is read, with the row of the
    // statement: its extra columns follow the rule's own.
    std::function<void(const SeriesRun& run, const VolumeEntry& entry, const Statement& row)> entry;
    // Each line of the report, series by series, by number within a series.
    std::function<void(const SeriesRun& run, const MissingVolume& line)> missing;
};

// Which volumes of the user's series are missing, series by series (by the
// series' key: two series of one name are two, one series under two names
// is one), in the order their first entries are read:
//  - every entry the user does not own, or owns but has flagged as missing,
//    under its own number with its title;
//  - every number from 1 up to below the highest volume the user owns (and
//    has not flagged) that no entry of the series carries, without a title.
// Where a series is catalogued once per number from 1 upward, that is what
// a count of the expected next number gives; a number catalogued twice or
// an owned volume without a number hides no missing number.
//
// Reads the entries the table shows, in series order (the table is put on
// its series index and stays there), with one statement; extraColumns are SQL
// over the catalogue's fields that the sink's entry reads from column
// kFirstExtraColumn on. Entries without a series take no part.
void WalkMissingVolumes(Table& catalogue, const MissingVolumesSink& sink, const QStringList& extraColumns = {});

// The columns the walk reads of each entry, before the extra ones.
QStringList missingVolumeColumns();
inline constexpr int kFirstExtraColumn = 7;

} // namespace db
