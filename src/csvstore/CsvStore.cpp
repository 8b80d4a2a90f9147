#include "csvstore/CsvStore.h"

#include "csvstore/Storing.h"

#include "core/Errors.h"
#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "database/SearchIndex.h"
#include "database/Statement.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <sqlite3.h>

namespace f = db::fields;
using csvimport::ImportRow;

namespace csvstore {

namespace {

QString counted(qint64 n, const char* one, const char* many)
{
    return csvimport::grouped(n) + u' ' + QString::fromUtf8(n == 1 ? one : many);
}

enum class Outcome { Decide, Commit };

// Two settings of the connection for the storing pass, put back after it.
// Every row the pass stores fires triggers, so SQLite keeps a statement
// journal for each insert in case it has to undo it halfway; past 64 KB that
// journal goes to a temporary file, and the file writes cost more than the
// inserts themselves. Kept in memory for the pass, it stays small: one row's
// pages. Switching drops the connection's temporary tables and triggers, so
// a connection that has any is left as it is, only slower.
// The pass writes every page of its rows' indexes many times over inside one
// transaction; once the page cache is full, SQLite spills changed pages to
// the log and writes them again at the next change. A cache of 64 MB saves
// a tenth of a 100,000-row import's time and keeps the import's memory
// well within bounds, whatever the size of the collection.
class PassSettings {
public:
    explicit PassSettings(db::Connection& connection) : m_connection(connection)
    {
        connection.endRead(); // the tables' reading would keep a transaction open
        if (sqlite3_get_autocommit(connection.handle()) == 0)
            return;
        const auto number = [&connection](const QString& sql) {
            db::Statement read(connection.handle(), sql); // finished before the switch, which it would block
            return read.step() ? read.columnInt64(0) : -1;
        };
        m_cacheBefore = number(QStringLiteral("PRAGMA cache_size"));
        connection.execute(QStringLiteral("PRAGMA cache_size=-65536"));
        m_tempBefore = int(number(QStringLiteral("PRAGMA temp_store")));
        if (m_tempBefore != 2 && number(QStringLiteral("SELECT count(*) FROM temp.sqlite_master")) == 0) {
            connection.execute(QStringLiteral("PRAGMA temp_store=MEMORY"));
            m_tempSwitched = true;
        }
    }
    ~PassSettings()
    {
        if (m_cacheBefore == -1 || sqlite3_get_autocommit(m_connection.handle()) == 0)
            return;
        try {
            m_connection.execute(QStringLiteral("PRAGMA cache_size=%1").arg(m_cacheBefore));
            if (m_tempSwitched)
                m_connection.execute(QStringLiteral("PRAGMA temp_store=%1").arg(m_tempBefore));
        } catch (const db::Error&) {
            // Only the speed and memory of later statements depend on them.
        }
    }
    PassSettings(const PassSettings&) = delete;
    PassSettings& operator=(const PassSettings&) = delete;

private:
    db::Connection& m_connection;
    qint64 m_cacheBefore = -1;
    int m_tempBefore = 0;
    bool m_tempSwitched = false;
};

ImportSummary run(ComicData& data, const QString& path, const csvimport::Format& format,
                  const csvimport::Mapping& mapping, const ImportOptions& options, Outcome outcome)
{
    // What the user is editing is stored first, as any move would store it:
    // the import's own rows must not end up inside that edit.
    for (db::Table* table : data.tables())
        if (table->active())
            table->checkBrowseMode();

    ImportSummary summary;
    summary.fileName = QFileInfo(path).fileName();
    summary.existingRule = options.existing;
    csvimport::PlanOptions planOptions;
    planOptions.lookups = readLookups(data.dbConnection());
    planOptions.today = options.today;
    planOptions.progress = options.progress;

    std::optional<PassSettings> settings;
    if (outcome == Outcome::Commit)
        settings.emplace(data.dbConnection());
    else
        data.dbConnection().endRead();
    // Deciding writes nothing; the transaction gives it one state of the
    // file to read from beginning to end.
    db::Transaction transaction(data.dbConnection());
    const ComicData::RememberedNames names(data);
    {
        detail::Storing storing(data, options, summary,
                                outcome == Outcome::Commit ? detail::Storing::Mode::Write : detail::Storing::Mode::Decide);
        summary.plan = csvimport::planFile(path, format, mapping, planOptions,
                                           [&storing](const ImportRow& row) { storing.store(row); }, options.limits);
        storing.finish();
    }
    if (outcome == Outcome::Commit) {
        if (summary.plan.refusedRows > 0) {
            const csvimport::RowError& first = summary.plan.errors.value(0);
            QString message = QStringLiteral("„%1“, %2").arg(summary.fileName, first.text());
            if (summary.plan.refusedRows > 1)
                message += QStringLiteral(" (und %1 weitere fehlerhafte Zeilen)").arg(csvimport::grouped(summary.plan.refusedRows - 1));
            throw db::Error(message + QStringLiteral(". Es wurde nichts importiert; berichtigen Sie die Datei und "
                                                     "importieren Sie sie noch einmal"));
        }
        // Inside the import's transaction: its volumes are searched through
        // the index from the first moment on. Between its slices the windows
        // paint; the pass cannot stop any more.
        std::function<void()> paint;
        if (options.progress)
            paint = [&options] { options.progress(1, 1); };
        db::search::catchUp(data.dbConnection().handle(), paint);
        transaction.commit();
    }
    return summary;
}

} // namespace

QString ImportSummary::text() const
{
    QString text = counted(volumes, "Band", "Bände") + QStringLiteral(", ")
                   + counted(newSeries, "neue Serie", "neue Serien") + QStringLiteral(", ")
                   + counted(newPublishers, "neuer Verlag", "neue Verlage") + QStringLiteral(", ")
                   + counted(newAuthors, "neuer Autor", "neue Autoren") + QStringLiteral(", ")
                   + counted(copies, "eigenes Exemplar", "eigene Exemplare");
    if (existing > 0) {
        text += QStringLiteral("; %1 schon vorhanden (gleiche ISBN oder gleiche Serie und Band): ").arg(csvimport::grouped(existing));
        if (existingRule == ExistingRows::Skip)
            text += QStringLiteral("überspringen");
        else
            text += QStringLiteral("ergänzen (%1 davon um neue Angaben)").arg(csvimport::grouped(completed));
    }
    if (plan.refusedRows > 0) {
        text += QStringLiteral("; %1: ").arg(counted(plan.refusedRows, "Zeile fehlerhaft", "Zeilen fehlerhaft"));
        QStringList shown;
        for (qsizetype i = 0; i < plan.errors.size() && i < 3; ++i)
            shown << plan.errors[i].text();
        text += shown.join(QStringLiteral("; "));
        if (plan.errorCount > shown.size())
            text += QStringLiteral(" …");
    }
    return text;
}

bool ImportSummary::operator==(const ImportSummary& o) const
{
    const auto errors = [](const csvimport::PlanSummary& p) {
        QStringList lines;
        for (const csvimport::RowError& e : p.errors)
            lines << e.text();
        return lines;
    };
    return fileName == o.fileName && existingRule == o.existingRule && volumes == o.volumes
           && newSeries == o.newSeries && newPublishers == o.newPublishers && newAuthors == o.newAuthors
           && copies == o.copies && authorLinks == o.authorLinks && existing == o.existing
           && completed == o.completed && plan.rows == o.plan.rows && plan.refusedRows == o.plan.refusedRows
           && errors(plan) == errors(o.plan);
}

csvimport::Lookups readLookups(db::Connection& connection)
{
    const auto names = [&connection](const QString& table, const QString& field) {
        QStringList list;
        db::Statement read(connection.handle(), QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(field, table),
                           table);
        while (read.step())
            if (const QString name = read.column(0).toString(); !name.isEmpty())
                list << name;
        return list;
    };
    csvimport::Lookups lookups;
    lookups.roles = names(QStringLiteral("AUTORTYP"), f::ATTYP);
    lookups.conditions = names(QStringLiteral("ZUSTANDSARTEN"), f::ZWNAME);
    lookups.literatureTypes = names(QStringLiteral("LITERATURART"), f::LANAME);
    lookups.literatureKinds = names(QStringLiteral("UNTERART"), f::UANAME);
    lookups.executions = names(QStringLiteral("AUSFUEHRUNGEN"), f::AFNAME);
    return lookups;
}

QStringList offeredCurrencies(db::Connection& connection, int most)
{
    // Counted after reading: "EUR" and "€" are one currency to the user.
    QList<std::pair<QString, qint64>> counted;
    db::Statement read(connection.handle(),
                       QStringLiteral("SELECT LCLKPREISWG, count(*) FROM LOKALESTRIPOTHEK WHERE trim(LCLKPREISWG) <> ''"
                                      " GROUP BY LCLKPREISWG ORDER BY count(*) DESC, LCLKPREISWG"),
                       QStringLiteral("LOKALESTRIPOTHEK"));
    while (read.step()) {
        QString currency = read.column(0).toString().trimmed();
        try {
            currency = csvimport::parseCurrency(currency);
        } catch (const csvimport::ValueError&) {
            // typed in by hand: offered as the collection has it
        }
        const auto same =
            std::find_if(counted.begin(), counted.end(), [&](const auto& c) { return c.first == currency; });
        if (same == counted.end())
            counted.append({currency, read.columnInt64(1)});
        else
            same->second += read.columnInt64(1);
    }
    std::stable_sort(counted.begin(), counted.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    QStringList currencies;
    for (const auto& c : counted.first(std::min<qsizetype>(most, counted.size())))
        currencies << c.first;
    for (const QString& usual : {QStringLiteral("€"), QStringLiteral("DM")})
        if (!currencies.contains(usual))
            currencies << usual;
    return currencies;
}

ImportSummary dryRun(ComicData& data, const QString& path, const csvimport::Format& format,
                     const csvimport::Mapping& mapping, const ImportOptions& options)
{
    return run(data, path, format, mapping, options, Outcome::Decide);
}

ImportSummary importFile(ComicData& data, const QString& path, const csvimport::Format& format,
                         const csvimport::Mapping& mapping, const ImportOptions& options)
{
    return run(data, path, format, mapping, options, Outcome::Commit);
}

} // namespace csvstore
