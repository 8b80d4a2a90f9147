#include "database/MissingVolumes.h"

#include "database/FieldNames.h"
#include "database/Statement.h"
#include "database/Table.h"

#include <QByteArray>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <limits>
#include <sqlite3.h>

namespace db {

namespace f = fields;

namespace {

// The columns the rule reads, in this order, before the caller's own.
enum Column { SeriesId, SeriesName, Number, Flagged, Owned, Title, RowId };
static_assert(kFirstExtraColumn == RowId + 1);

} // namespace

QStringList missingVolumeColumns()
{
    // The flag as an integer field reads: a float rounded, text and null 0.
    // A copy belongs to an entry by the whole key, same case; comparing the
    // keys twice lets SQLite find the copies through their index.
    return {f::SCLSERIEID,
            f::SCLSERIENTEXT,
            volumeNumberSql(f::SCLBAND),
            QStringLiteral("CASE typeof(SCLFEHLT) WHEN 'integer' THEN SCLFEHLT = 1 "
                           "WHEN 'real' THEN round(SCLFEHLT) = 1 ELSE 0 END"),
            QStringLiteral("EXISTS (SELECT 1 FROM LOKALESTRIPOTHEK WHERE LCLSERVERCOMICID = "
                           "SERVERSTRIPOTHEK.SCLCOMICID COLLATE NOCASE AND LCLSERVERCOMICID = "
                           "SERVERSTRIPOTHEK.SCLCOMICID)"),
            f::SCLTITEL1,
            QStringLiteral("rowid")};
}

namespace {

QByteArrayView textOf(const Statement& row, int column)
{
    sqlite3_stmt* s = row.raw();
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return text ? QByteArrayView(text, sqlite3_column_bytes(s, column)) : QByteArrayView();
}

qint64 after(qint64 number)
{
    return number == std::numeric_limits<qint64>::max() ? number : number + 1;
}

// The entries of each series, judged when the walk has read them all: two
// series of one name alternate in the series order, and a renamed series has
// entries under both names, so a series' entries need not be consecutive.
// A gap below an entry is missing only if an owned volume lies above it.
struct Series {
    QByteArray id;
    SeriesRun run;
    std::vector<VolumeEntry> entries;
};

class SeriesJudge {
public:
    explicit SeriesJudge(const MissingVolumesSink& sink) : m_sink(sink) {}

    // The series of an entry with a series id, made when first met, under
    // the name of that entry.
    Series& seriesOf(QByteArrayView id, const Statement& row)
    {
        // Entries of a series mostly follow one another.
        if (m_current == m_series.size() || m_series[m_current].id != id) {
            const QByteArray key = id.toByteArray();
            const auto known = m_index.constFind(key);
            if (known != m_index.constEnd()) {
                m_current = *known;
            } else {
                m_current = m_series.size();
                m_index.insert(key, m_current);
                m_series.push_back({key, {QString::fromUtf8(id), row.column(SeriesName).toString()}, {}});
            }
        }
        return m_series[m_current];
    }

    // Each series in the order first met.
    void judgeAll()
    {
        for (Series& series : m_series) {
            judge(series.run, series.entries);
            std::vector<VolumeEntry>().swap(series.entries);
        }
    }

private:
    void judge(const SeriesRun& run, std::vector<VolumeEntry>& entries)
    {
        // Read in series order, which is number order only within one name;
        // unnumbered entries sort first, as the series index has them.
        std::stable_sort(entries.begin(), entries.end(), [](const VolumeEntry& a, const VolumeEntry& b) {
            return a.numbered != b.numbered ? !a.numbered : a.number < b.number;
        });
        qint64 highest = 0;
        for (const VolumeEntry& e : entries)
            if (e.closesGaps())
                highest = std::max(highest, e.number);
        // Gaps end below the next owned volume; found from the back.
        m_closers.assign(entries.size(), nullptr);
        const VolumeEntry* closer = nullptr;
        for (size_t i = entries.size(); i-- > 0;) {
            if (entries[i].closesGaps())
                closer = &entries[i];
            m_closers[i] = closer;
        }
        qint64 next = 1; // the lowest number not yet listed or carried
        for (size_t i = 0; i < entries.size(); ++i) {
            const VolumeEntry& e = entries[i];
            if (e.numbered && e.number >= next) {
                gap(run, next, std::min(e.number, highest) - 1, m_closers[i]);
                next = after(e.number);
            }
            if (e.missing())
                m_sink.missing(run, {MissingVolume::Kind::Volume, &e, e.number, e.number});
        }
    }

    void gap(const SeriesRun& run, qint64 first, qint64 last, const VolumeEntry* closer)
    {
        if (last < first)
            return;
        if (last - first >= kLargestGap) {
            m_sink.missing(run, {MissingVolume::Kind::LongGap, closer, first, last});
            return;
        }
        for (qint64 n = first; n <= last; ++n)
            m_sink.missing(run, {MissingVolume::Kind::Gap, closer, n, n});
    }

    const MissingVolumesSink& m_sink;
    std::vector<Series> m_series;
    QHash<QByteArray, size_t> m_index;
    size_t m_current = 0;
    std::vector<const VolumeEntry*> m_closers;
};

} // namespace

QString volumeNumberSql(const QString& column)
{
    return QStringLiteral("CASE typeof(%1) WHEN 'integer' THEN %1 WHEN 'real' THEN CAST(round(%1) AS INTEGER) END")
        .arg(column);
}

QString MissingVolume::text() const
{
    const QLocale german(QLocale::German, QLocale::Germany);
    return QStringLiteral("%1–%2: %3 Bände fehlen – bitte Bandnummer prüfen")
        .arg(QString::number(first), QString::number(last), german.toString(last - first + 1));
}

void WalkMissingVolumes(Table& catalogue, const MissingVolumesSink& sink, const QStringList& extraColumns)
{
    catalogue.setIndexName(QStringLiteral("NKSCLSERIENTEXT"));
    SeriesJudge judge(sink);
    catalogue.readShownSql(missingVolumeColumns() + extraColumns, [&](const Statement& row) {
        const QByteArrayView id = textOf(row, SeriesId);
        if (id.isEmpty())
            return;
        Series& series = judge.seriesOf(id, row);
        VolumeEntry e;
        e.rowId = row.columnInt64(RowId);
        e.numbered = !row.columnIsNull(Number);
        e.number = row.columnInt64(Number);
        e.flagged = row.columnInt64(Flagged) != 0;
        e.owned = row.columnInt64(Owned) != 0;
        if (e.missing())
            e.title = row.column(Title).toString();
        if (sink.entry)
            sink.entry(series.run, e, row);
        series.entries.push_back(std::move(e));
    });
    judge.judgeAll();
}

} // namespace db
