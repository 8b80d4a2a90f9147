#include "reports/MissingVolumes.h"

#include "database/Connection.h"
#include "database/Errors.h"
#include "database/Statement.h"
#include "database/Table.h"

#include <QCoreApplication>
#include <QLocale>

namespace rpt {

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

QString gapError(const db::DataSet& catalogue, qint64 band)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    return QStringLiteral("Der Band %1 der Serie „%2“ ließe eine Lücke von mehr als %3 Bänden; "
                          "bitte prüfen Sie die Bandnummer")
        .arg(german.toString(band), catalogue.fieldByName(QStringLiteral("SCLSERIENTEXT")).asString(),
             german.toString(kLargestGap));
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

        const db::Field& comicId = catalogue.fieldByName(QStringLiteral("SCLCOMICID"));
        const db::Field& seriesId = catalogue.fieldByName(QStringLiteral("SCLSERIEID"));
        const db::Field& band = catalogue.fieldByName(QStringLiteral("SCLBAND"));
        const db::Field& missing = catalogue.fieldByName(QStringLiteral("SCLFEHLT"));
        while (!catalogue.eof()) {
            const QString run = seriesId.asString();
            if (run.isEmpty()) {
                catalogue.next();
                continue;
            }
            qint64 count = 1;
            while (!catalogue.eof()) {
                if (seriesId.asString() != run)
                    break;
                if (!copies.owned(comicId.asString()) || missing.asInteger() == 1) {
                    sink(catalogue, true, count);
                    ++count;
                } else {
                    const qint64 number = band.asInteger();
                    if (number - count > kLargestGap)
                        throw db::Error(gapError(catalogue, number));
                    for (; number > count; ++count)
                        sink(catalogue, false, count);
                    ++count;
                }
                catalogue.next();
            }
        }
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
