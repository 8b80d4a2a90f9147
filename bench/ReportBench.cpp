#include "Bench.h"

#include "database/ComicData.h"
#include "database/GermanOrder.h"
#include "database/MissingVolumes.h"
#include "reports/Layout.h"
#include "reports/PageView.h"
#include "reports/PreviewWindow.h"
#include "reports/rptComicList.h"
#include "reports/rptComicMissing.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <unordered_map>

namespace bench {

namespace {

const QDate kToday(2024, 3, 1);

// Notes when a widget has painted.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

std::string text(sqlite3_stmt* s, int column)
{
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return t ? std::string(t, size_t(sqlite3_column_bytes(s, column))) : std::string();
}

class RawDb {
public:
    explicit RawDb(const QString& file)
    {
        if (sqlite3_open_v2(file.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open database");
        rawExec(m_db, "PRAGMA cache_size=-16384");
    }
    ~RawDb() { sqlite3_close_v2(m_db); }
    sqlite3* get() const { return m_db; }
    sqlite3_stmt* prepare(const QString& sql) const
    {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &s, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(m_db));
        return s;
    }

private:
    sqlite3* m_db = nullptr;
};

// The missing volumes by hand: the engine's statement in series order (an
// own copy found per entry inside it), each series' entries in plain structs
// gathered by its id, then per series the gaps below its highest owned volume
// and its missing entries, rows into plain structs.
size_t rawMissing(const RawDb& raw)
{
    struct Entry {
        qint64 number;
        bool numbered, owned, flagged;
        std::string title;
    };
    struct Row {
        std::string seriesId, seriesName, title;
        qint64 number;
    };
    struct Series {
        std::string id, name;
        std::vector<Entry> entries;
    };
    std::vector<Row> rows;
    std::vector<Series> series;
    std::unordered_map<std::string, size_t> seriesIndex;
    const auto judge = [&](const std::string& run, const std::string& runName, std::vector<Entry>& entries) {
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return a.numbered != b.numbered ? !a.numbered : a.number < b.number;
        });
        qint64 highest = 0;
        for (const Entry& e : entries)
            if (e.owned && !e.flagged && e.numbered)
                highest = std::max(highest, e.number);
        qint64 next = 1;
        for (const Entry& e : entries) {
            if (e.numbered && e.number >= next) {
                const qint64 last = std::min(e.number, highest) - 1;
                if (last - next >= db::kLargestGap)
                    rows.push_back({run, runName, "gap", next});
                else
                    for (qint64 n = next; n <= last; ++n)
                        rows.push_back({run, runName, std::string(), n});
                next = e.number + 1;
            }
            if (!e.owned || e.flagged)
                rows.push_back({run, runName, e.title, e.number});
        }
    };
    sqlite3_stmt* walk = raw.prepare(QStringLiteral("SELECT %1 FROM SERVERSTRIPOTHEK ORDER BY %2, SCLBAND, rowid")
                                         .arg(db::missingVolumeColumns().join(QLatin1Char(',')),
                                              db::germanKeyColumn(QStringLiteral("SCLSERIENTEXT"))));
    size_t current = 0;
    while (sqlite3_step(walk) == SQLITE_ROW) {
        const std::string id = text(walk, 0);
        if (id.empty())
            continue;
        if (current == series.size() || series[current].id != id) {
            const auto [found, added] = seriesIndex.try_emplace(id, series.size());
            if (added)
                series.push_back({id, text(walk, 1), {}});
            current = found->second;
        }
        Entry e{sqlite3_column_int64(walk, 2), sqlite3_column_type(walk, 2) != SQLITE_NULL,
                sqlite3_column_int(walk, 4) != 0, sqlite3_column_int(walk, 3) != 0, std::string()};
        if (!e.owned || e.flagged)
            e.title = text(walk, 5);
        series[current].entries.push_back(std::move(e));
    }
    for (Series& s : series)
        judge(s.id, s.name, s.entries);
    sqlite3_finalize(walk);
    return rows.size();
}

// The collection list by hand: the same statement, every column into plain structs.
size_t rawList(const RawDb& raw)
{
    struct Row {
        std::string seriesId, seriesName, publisher, title, isbn, edition, bought, currency;
        qint64 band, missing;
        double price;
    };
    std::vector<Row> rows;
    sqlite3_stmt* s = raw.prepare(TRPTListComic::listSql(raw.get()));
    while (sqlite3_step(s) == SQLITE_ROW)
        rows.push_back({text(s, 0), text(s, 1), text(s, 2), text(s, 3), text(s, 4), text(s, 7), text(s, 8),
                        text(s, 10), sqlite3_column_int64(s, 5), sqlite3_column_int64(s, 6),
                        sqlite3_column_double(s, 9)});
    sqlite3_finalize(s);
    return rows.size();
}

struct PreviewTimes {
    double firstPage = 0;
    double lastPage = 0;
    double memory = 0;
};

// Opens the preview on the gathered list, as the command does, and measures
// the first page painted and a jump to the last page; with waitForLayout the
// jump comes after the layout beside the preview has ended.
PreviewTimes preview(const TRPTListComic& form, bool waitForLayout)
{
    PreviewTimes times;
    QElapsedTimer timer;
    timer.start();
    rpt::Layouter layouter(form.qrReport, &form.tblReport, kToday);
    rpt::TReportPreview preview(layouter, form.qrReport.title);
    auto* page = preview.findChild<rpt::TReportPageView*>(QStringLiteral("pvPage"));
    if (!page)
        throw std::runtime_error("pvPage fehlt");
    PaintWatch watch;
    page->installEventFilter(&watch);
    preview.show();
    while (!watch.painted)
        QApplication::processEvents();
    times.firstPage = timer.nsecsElapsed() / 1e6;
    if (waitForLayout)
        while (!preview.layoutFinished())
            QApplication::processEvents();
    times.memory = residentMb();
    watch.painted = false;
    timer.restart();
    preview.btnLastClick();
    while (!watch.painted)
        QApplication::processEvents();
    times.lastPage = timer.nsecsElapsed() / 1e6;
    if (preview.currentPage() != preview.pageCount() - 1)
        throw std::runtime_error("nicht auf der letzten Seite");
    return times;
}

} // namespace

void runReportBench(const QString& dir, Report& report)
{
    const QString databaseDir = dir + QStringLiteral("/database");
    const RawDb raw(databaseDir + QStringLiteral("/stripothek.db"));
    ComicData data;
    data.dbConnection().setDatabasePath(databaseDir);
    data.OpenTables();

    size_t engineRows = 0;
    const double missing = bestOf(3, [&] {
        TRPTMissingComic form;
        form.gather(data);
        engineRows = size_t(form.tblReport.rowCount());
    });
    size_t rawRows = 0;
    const double rawMissingMs = bestOf(3, [&] { rawRows = rawMissing(raw); });
    if (engineRows != rawRows)
        throw std::runtime_error("missing volumes: engine and raw rows differ");
    report.add(QStringLiteral("missing volumes: rows gathered (%1)").arg(engineRows), missing, rawMissingMs);

    const double list = bestOf(3, [&] {
        TRPTListComic form;
        form.gather(data.dbConnection());
        engineRows = size_t(form.tblReport.rowCount());
    });
    const double rawListMs = bestOf(3, [&] { rawRows = rawList(raw); });
    if (engineRows != rawRows)
        throw std::runtime_error("collection list: engine and raw rows differ");
    report.add(QStringLiteral("collection list: rows gathered (%1)").arg(engineRows), list, rawListMs);

    const double before = residentMb();
    TRPTListComic form;
    form.gather(data.dbConnection());
    size_t pages = 0;
    report.add(QStringLiteral("collection list: all pages laid out"), bestOf(3, [&] {
                   pages = rpt::layoutReport(form.qrReport, &form.tblReport, kToday).pages.size();
               }),
               0);
    const PreviewTimes atOnce = preview(form, false);
    const PreviewTimes laidOut = preview(form, true);
    report.add(QStringLiteral("collection list: first page on screen"), laidOut.firstPage, 0);
    report.add(QStringLiteral("collection list: last page, layout done"), laidOut.lastPage, 0);
    report.add(QStringLiteral("collection list: last page at once"), atOnce.lastPage, 0);
    report.addFigure(QStringLiteral("collection list: pages"), double(pages));
    report.addFigure(QStringLiteral("memory before the list (MB)"), before);
    report.addFigure(QStringLiteral("memory, list preview open (MB)"), laidOut.memory);

    QTemporaryDir scratch;
    QElapsedTimer timer;
    timer.start();
    form.writePdf(scratch.filePath(QStringLiteral("liste.pdf")), kToday);
    report.add(QStringLiteral("collection list: whole list as PDF"), timer.nsecsElapsed() / 1e6, 0);
}

} // namespace bench
