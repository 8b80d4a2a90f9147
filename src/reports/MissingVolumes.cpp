#include "reports/MissingVolumes.h"

#include "database/Connection.h"
#include "core/Errors.h"
#include "database/FieldNames.h"
#include "database/Statement.h"
#include "database/Table.h"

#include <QCoreApplication>
#include <QLocale>

namespace rpt {

namespace f = db::fields;

namespace {
const QString kComponent = QStringLiteral("qryComicLocal");

// A cached statement is ready for its next use on every way out.
class Stepping {
public:
    explicit Stepping(db::Statement& statement) : m_statement(statement) {}
    ~Stepping() { m_statement.reset(); }
    Stepping(const Stepping&) = delete;
    Stepping& operator=(const Stepping&) = delete;
    db::Statement& operator*() const { return m_statement; }

private:
    db::Statement& m_statement;
};

QString gapError(const CatalogueEntry& entry)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    return QStringLiteral("Der Band %1 der Serie „%2“ ließe eine Lücke von mehr als %3 Bänden; "
                          "bitte prüfen Sie die Bandnummer")
        .arg(german.toString(entry.band), entry.seriesName, german.toString(kLargestGap));
}
} // namespace

bool OwnCopies::any() const
{
    m_connection.beginRead();
    Stepping s(m_connection.cached(QStringLiteral("SELECT 1 FROM LOKALESTRIPOTHEK LIMIT 1"), kComponent));
    return (*s).step();
}

bool OwnCopies::owned(const QString& comicId) const
{
    m_connection.beginRead();
    // The first comparison lets SQLite use the index, the second keeps the
    // match exact.
    Stepping s(m_connection.cached(QStringLiteral("SELECT 1 FROM LOKALESTRIPOTHEK WHERE LCLSERVERCOMICID = ?1 "
                                                  "COLLATE NOCASE AND LCLSERVERCOMICID = ?1 LIMIT 1"),
                                   kComponent));
    (*s).bind(1, comicId);
    return (*s).step();
}

void WalkMissingVolumes(db::Table& catalogue, const OwnCopies& copies, const MissingVolumeSink& sink)
{
    const int noted = catalogue.recNo();
    db::ControlsDisabled quiet(catalogue);
    try {
        catalogue.setIndexName(QStringLiteral("NKSCLSERIENTEXT"));
        // What the window has pending (a repaint) happens before the walk,
        // not during it; typed input waits until the command is over.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        catalogue.first();

        // The entries as the table shows them, read at once: moving from
        // record to record would read every field of each.
        QString run;
        qint64 count = 1;
        CatalogueEntry entry;
        catalogue.readShown({f::SCLCOMICID, f::SCLSERIEID, f::SCLSERIENTEXT, f::SCLBAND, f::SCLTITEL1, f::SCLFEHLT},
                            [&](const db::Statement& row) {
                                entry.seriesId = row.column(1).toString();
                                if (entry.seriesId.isEmpty()) {
                                    run.clear();
                                    return;
                                }
                                if (entry.seriesId != run) {
                                    run = entry.seriesId;
                                    count = 1;
                                }
                                entry.comicId = row.column(0).toString();
                                entry.seriesName = row.column(2).toString();
                                entry.band = row.column(3).toLongLong();
                                entry.title = row.column(4).toString();
                                entry.flagged = row.column(5).toLongLong() == 1;
                                if (!copies.owned(entry.comicId) || entry.flagged) {
                                    sink(entry, true, count);
                                    ++count;
                                    return;
                                }
                                if (entry.band - count > kLargestGap)
                                    throw db::Error(gapError(entry));
                                for (; entry.band > count; ++count)
                                    sink(entry, false, count);
                                ++count;
                            });
    } catch (...) {
        try {
            catalogue.setRecNo(noted);
        } catch (...) {
            // The walk's own error is the one to report.
        }
        throw;
    }
    catalogue.setRecNo(noted);
}

} // namespace rpt
