#include "csvstore/CsvStore.h"

#include "core/Errors.h"
#include "database/SearchIndex.h"
#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "database/GermanOrder.h"
#include "database/Isbn.h"
#include "database/RecordKeys.h"
#include "database/Statement.h"

#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSet>

#include <optional>
#include <sqlite3.h>

namespace f = db::fields;
using csvimport::ImportCopy;
using csvimport::ImportRow;

namespace csvstore {

namespace {

// The names and keys of one table with a key and a name field.
struct NamedList {
    QString table, keyField, nameField;
    QHash<QString, QString> ids; // stored name (exact) → key
};

NamedList readNamed(db::Connection& connection, const QString& table, const QString& keyField,
                    const QString& nameField)
{
    NamedList list{table, keyField, nameField, {}};
    db::Statement read(connection.handle(),
                       QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY rowid").arg(keyField, nameField, table), table);
    while (read.step()) {
        const QString name = read.column(1).toString();
        if (!name.isEmpty() && !list.ids.contains(name))
            list.ids.insert(name, read.column(0).toString());
    }
    return list;
}

QString seriesVolumeKey(const QString& seriesId, int volume)
{
    return seriesId.toUpper() + QChar(0x1f) + QString::number(volume);
}

QString german(qint64 n)
{
    return QLocale(QLocale::German, QLocale::Germany).toString(n);
}

QString counted(qint64 n, const char* one, const char* many)
{
    return german(n) + u' ' + QString::fromUtf8(n == 1 ? one : many);
}

// Publishers, series or authors: a name from the file finds the stored row
// whose name sorts as the same, whatever its case and accents ("CARLSEN",
// "Carlsén" → "Carlsen"); otherwise the row is made once and found by the
// rows after it.
class NameMatcher {
public:
    NameMatcher(db::Connection& connection, db::KeyCounter& keys, const QString& table, const QString& keyField,
                const QString& nameField)
        : m_connection(connection), m_keys(keys), m_table(table), m_keyField(keyField), m_nameField(nameField)
    {
        db::Statement read(connection.handle(),
                           QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY rowid").arg(keyField, nameField, table),
                           table);
        while (read.step()) {
            const QString key = db::searchKey(read.column(1).toString());
            if (!key.isEmpty() && !m_ids.contains(key))
                m_ids.insert(key, read.column(0).toString());
        }
    }

    // The key of the stored row the name stands for, or none.
    QString find(const QString& name) const
    {
        return name.isEmpty() ? QString() : m_ids.value(db::searchKey(name));
    }

    // The same, the row made when there is none; made counts those.
    QString idFor(const QString& name, int& made)
    {
        if (name.isEmpty())
            return {};
        const QString key = db::searchKey(name);
        if (const auto found = m_ids.constFind(key); found != m_ids.constEnd())
            return *found;
        const QString id = m_keys.next();
        db::Statement& insert = m_connection.cached(
            QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, ?)").arg(m_table, m_keyField, m_nameField), m_table);
        insert.bindAll({id, name});
        insert.exec();
        m_ids.insert(key, id);
        ++made;
        return id;
    }

private:
    db::Connection& m_connection;
    db::KeyCounter& m_keys;
    QString m_table, m_keyField, m_nameField;
    QHash<QString, QString> m_ids; // search key → row key
};

// One pass over the file inside the caller's transaction.
class Storing {
public:
    Storing(ComicData& data, const ImportOptions& options, ImportSummary& summary)
        : m_data(data), m_connection(data.dbConnection()), m_options(options), m_summary(summary),
          m_catalogue(m_connection, QStringLiteral("tblStripothek"), QStringLiteral("SERVERSTRIPOTHEK")),
          m_keys(keyCounter(data)),
          m_publishers(m_connection, m_keys, QStringLiteral("VERLAGE"), f::VLVERLAGID, f::VLNAME1),
          m_series(m_connection, m_keys, QStringLiteral("SERIEN"), f::SRSERIENID, f::SRNAME),
          m_authors(m_connection, m_keys, QStringLiteral("AUTOREN"), f::ANAUTORID, f::ANNAME),
          m_roles(readNamed(m_connection, QStringLiteral("AUTORTYP"), f::ATID, f::ATTYP)),
          m_conditions(readNamed(m_connection, QStringLiteral("ZUSTANDSARTEN"), f::ZWID, f::ZWNAME)),
          m_literatureTypes(readNamed(m_connection, QStringLiteral("LITERATURART"), f::LAARTID, f::LANAME)),
          m_literatureKinds(readNamed(m_connection, QStringLiteral("UNTERART"), f::UATID, f::UANAME)),
          m_executions(readNamed(m_connection, QStringLiteral("AUSFUEHRUNGEN"), f::AFAUSFID, f::AFNAME)),
          m_firstKey(m_keys.last())
    {
        // A table of its own in natural order: a new row goes to its end
        // without sorting anything, and every post runs the catalogue's
        // before-post rule, which derives what any save derives.
        m_catalogue.open();
        m_catalogue.beforePost = [this](db::Table& table) {
            m_data.rules().tblStripothekBeforePost(table);
            m_postedKey = table.fieldByName(f::SCLCOMICID).asString();
        };
        db::Statement read(m_connection.handle(),
                           QStringLiteral("SELECT SCLCOMICID, SCLISBNNR, SCLSERIEID, SCLBAND FROM SERVERSTRIPOTHEK "
                                          "ORDER BY rowid"),
                           m_catalogue.name());
        while (read.step())
            remember(read.column(0).toString(), read.column(1).toString(), read.column(2).toString(),
                     read.columnIsNull(3) ? std::optional<int>() : int(read.columnInt64(3)));
    }

    // The keys drawn are used up: the counter row learns the last one. The
    // program's key table is read again, as after any key it draws.
    void finish()
    {
        if (m_keys.last() == m_firstKey)
            return;
        m_keys.save();
        m_data.tblKeyGen().refresh();
    }

    void store(const ImportRow& row)
    {
        // A volume that is there already is found through a stored series
        // only: a series the file brings new cannot hold it yet. A skipped
        // row makes nothing, not even its publisher.
        QString comicId = existingEntry(row.isbn, m_series.find(row.series), row.volume);
        if (!comicId.isEmpty()) {
            ++m_summary.existing;
            if (m_options.existing == ExistingRows::Complete
                && complete(comicId, row, m_series.idFor(row.series, m_summary.newSeries),
                            m_publishers.idFor(row.publisher, m_summary.newPublishers)))
                ++m_summary.completed;
            return;
        }
        const QString seriesId = m_series.idFor(row.series, m_summary.newSeries);
        const QString publisherId = m_publishers.idFor(row.publisher, m_summary.newPublishers);
        comicId = insertEntry(row, seriesId, publisherId);
        ++m_summary.volumes;
        remember(comicId, row.isbn, seriesId, row.volume);
        addAuthors(comicId, row, true);
        if (row.copy)
            addCopy(comicId, *row.copy, row.line);
    }

private:
    // The whole pass runs in one write transaction, so the counter row cannot
    // move under it: reading it once and handing out its numbers in order
    // gives the keys that drawing each one from the table would give.
    static db::KeyCounter keyCounter(ComicData& data)
    {
        db::Table& keyGen = data.tblKeyGen();
        keyGen.checkActive();
        keyGen.checkBrowseMode();
        return db::KeyCounter(data.dbConnection(), keyGen.currentRowId(), keyGen.name(), keyGen.tableName());
    }

    void remember(const QString& comicId, const QString& isbn, const QString& seriesId, std::optional<int> volume)
    {
        if (const QString key = db::comparableIsbn(isbn); !key.isEmpty() && !m_byIsbn.contains(key))
            m_byIsbn.insert(key, comicId);
        if (!seriesId.isEmpty() && volume)
            if (const QString key = seriesVolumeKey(seriesId, *volume); !m_bySeriesVolume.contains(key))
                m_bySeriesVolume.insert(key, comicId);
    }

    QString existingEntry(const QString& isbn, const QString& seriesId, std::optional<int> volume) const
    {
        if (const QString key = db::comparableIsbn(isbn); !key.isEmpty())
            if (const auto found = m_byIsbn.constFind(key); found != m_byIsbn.constEnd())
                return *found;
        if (!seriesId.isEmpty() && volume)
            return m_bySeriesVolume.value(seriesVolumeKey(seriesId, *volume));
        return {};
    }

    // The key of a read-only list's name; the plan matched it already, so a
    // miss means the list has no names to match against at all.
    QString idOf(const NamedList& list, const QString& name, int line, const char* what) const
    {
        if (name.isEmpty())
            return {};
        const auto found = list.ids.constFind(name);
        if (found == list.ids.constEnd())
            throw db::Error(QStringLiteral("Zeile %1: „%2“ gibt es in der Liste %3 der Sammlung nicht")
                                .arg(QString::number(line), name, QString::fromUtf8(what)));
        return *found;
    }

    // The catalogue fields a row gives, each with its value.
    QList<std::pair<QLatin1String, QVariant>> entryFields(const ImportRow& row, const QString& seriesId,
                                                          const QString& publisherId) const
    {
        QList<std::pair<QLatin1String, QVariant>> fields;
        const auto text = [&fields](QLatin1String field, const QString& value) {
            if (!value.isEmpty())
                fields.append({field, value});
        };
        const auto number = [&fields](QLatin1String field, std::optional<int> value) {
            if (value)
                fields.append({field, *value});
        };
        text(f::SCLTITEL1, row.title1);
        text(f::SCLTITEL2, row.title2);
        text(f::SCLTITEL3, row.title3);
        text(f::SCLSERIEID, seriesId);
        number(f::SCLBAND, row.volume);
        text(f::SCLVERLAGID, publisherId);
        text(f::SCLISBNNR, row.isbn);
        number(f::SCLSEITEN, row.pages);
        text(f::SCLLITARTID, idOf(m_literatureTypes, row.literatureType, row.line, "der Literaturtypen"));
        text(f::SCLSPARTEID, idOf(m_literatureKinds, row.literatureKind, row.line, "der Literaturarten"));
        text(f::SCLINHALT, row.content);
        text(f::SCLBEMERKUNG, row.remarks);
        number(f::SCLMAXLIMANZAHL, row.limitation);
        return fields;
    }

    QString insertEntry(const ImportRow& row, const QString& seriesId, const QString& publisherId)
    {
        const auto fields = entryFields(row, seriesId, publisherId);
        db::PendingRow pending(m_catalogue);
        for (const auto& [field, value] : fields)
            m_catalogue.fieldByName(field).setValue(value);
        m_catalogue.fieldByName(f::SCLFEHLT).setAsInteger(row.missing ? 1 : 0);
        m_catalogue.fieldByName(f::SCLZUKAUFEN).setAsInteger(row.toBuy ? 1 : 0);
        m_catalogue.fieldByName(f::SCLCOMICID).setAsString(m_keys.next());
        m_postedKey.clear();
        pending.post();
        return m_postedKey;
    }

    // Fills the entry's empty fields, adds the authors it lacks and, when it
    // has no own copy yet, the row's copy. Whether anything changed.
    bool complete(const QString& comicId, const ImportRow& row, const QString& seriesId, const QString& publisherId)
    {
        bool changed = false;
        const auto fields = entryFields(row, seriesId, publisherId);
        if (!m_catalogue.locate(f::SCLCOMICID, comicId))
            throw db::EngineError(m_catalogue.name(), QStringLiteral("Der Band %1 ist verschwunden").arg(comicId));
        QList<std::pair<QLatin1String, QVariant>> missing;
        for (const auto& field : fields)
            if (m_catalogue.fieldByName(field.first).isNull()
                || m_catalogue.fieldByName(field.first).asString().isEmpty())
                missing << field;
        const bool flags = (row.missing && m_catalogue.fieldByName(f::SCLFEHLT).value().toInt() != 1)
                           || (row.toBuy && m_catalogue.fieldByName(f::SCLZUKAUFEN).value().toInt() != 1);
        if (!missing.isEmpty() || flags) {
            m_catalogue.edit();
            for (const auto& [field, value] : missing)
                m_catalogue.fieldByName(field).setValue(value);
            if (row.missing)
                m_catalogue.fieldByName(f::SCLFEHLT).setAsInteger(1);
            if (row.toBuy)
                m_catalogue.fieldByName(f::SCLZUKAUFEN).setAsInteger(1);
            m_catalogue.post();
            changed = true;
        }
        changed |= addAuthors(comicId, row, false);
        if (row.copy) {
            db::Statement& has = m_connection.cached(
                QStringLiteral("SELECT 1 FROM LOKALESTRIPOTHEK WHERE LCLSERVERCOMICID = ? COLLATE NOCASE LIMIT 1"), m_catalogue.name());
            has.bindAll({comicId});
            bool hasCopy = false;
            {
                const db::StatementReset resetting(has);
                hasCopy = has.step();
            }
            if (!hasCopy) {
                addCopy(comicId, *row.copy, row.line);
                changed = true;
            }
        }
        return changed;
    }

    // The row's authors the entry does not name yet in the same role; a new
    // entry names none.
    bool addAuthors(const QString& comicId, const ImportRow& row, bool newEntry)
    {
        if (row.authors.isEmpty())
            return false;
        QSet<QString> present;
        if (!newEntry) {
            // The keys' index compares without case; so must the condition, or SQLite reads every row.
            db::Statement& read = m_connection.cached(
                QStringLiteral("SELECT C2AAUTORID, C2AATID FROM COMIC2AUTOR WHERE C2ACOMICID = ? COLLATE NOCASE"),
                QStringLiteral("tblComic2Autor"));
            read.bindAll({comicId});
            const db::StatementReset resetting(read);
            while (read.step())
                present.insert(read.column(0).toString().toUpper() + QChar(0x1f) + read.column(1).toString().toUpper());
        }
        db::Statement& insert = m_connection.cached(
            QStringLiteral("INSERT INTO COMIC2AUTOR (C2AID, C2AAUTORID, C2ACOMICID, C2AATID) VALUES (?, ?, ?, ?)"),
            QStringLiteral("tblComic2Autor"));
        bool added = false;
        for (const csvimport::ImportAuthor& author : row.authors) {
            const QString authorId = m_authors.idFor(author.name, m_summary.newAuthors);
            const QString roleId = idOf(m_roles, author.role, row.line, "der Funktionen");
            const QString both = authorId.toUpper() + QChar(0x1f) + roleId.toUpper();
            if (present.contains(both))
                continue;
            present.insert(both);
            insert.bindAll({m_keys.next(), authorId, comicId, roleId.isEmpty() ? QVariant() : roleId});
            insert.exec();
            ++m_summary.authorLinks;
            added = true;
        }
        return added;
    }

    // A date as a date field stores it; a file holds few dates many times
    // over, and finding a day's start goes through the time zone each time.
    const QString& storedDate(QDate date)
    {
        auto found = m_dates.find(date);
        if (found == m_dates.end())
            found = m_dates.insert(date, date.startOfDay().toString(Qt::ISODate));
        return *found;
    }

    void addCopy(const QString& comicId, const ImportCopy& copy, int line)
    {
        const auto text = [](const QString& value) { return value.isEmpty() ? QVariant() : QVariant(value); };
        db::Statement& insert = m_connection.cached(
            QStringLiteral("INSERT INTO LOKALESTRIPOTHEK (LCLCOMICID, LCLSERVERCOMICID, LCLZUSTANDID, LCLAUFLAGE, "
                           "LCLKPREIS, LCLKPREISWG, LCKKDATUM, LCLLAGERPLATZ, LCLNUMMER, LCLBEMERKUNG, "
                           "LCLAUSFUEHRUNGID1, LCLAUSFUEHRUNGID2) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            QStringLiteral("tblComicLocal"));
        insert.bindAll({m_keys.next(), comicId,
                        text(idOf(m_conditions, copy.condition, line, "der Zustände")), text(copy.edition),
                        copy.price ? QVariant(*copy.price) : QVariant(), text(copy.currency),
                        copy.purchaseDate.isValid() ? QVariant(storedDate(copy.purchaseDate)) : QVariant(),
                        text(copy.storagePlace), copy.number ? QVariant(*copy.number) : QVariant(),
                        text(copy.remarks), text(idOf(m_executions, copy.execution1, line, "der Ausführungen")),
                        text(idOf(m_executions, copy.execution2, line, "der Ausführungen"))});
        insert.exec();
        ++m_summary.copies;
    }

    ComicData& m_data;
    db::Connection& m_connection;
    const ImportOptions& m_options;
    ImportSummary& m_summary;
    db::Table m_catalogue;
    QString m_postedKey;
    db::KeyCounter m_keys;
    NameMatcher m_publishers, m_series, m_authors;
    NamedList m_roles, m_conditions, m_literatureTypes, m_literatureKinds, m_executions;
    qint64 m_firstKey;
    QHash<QString, QString> m_byIsbn;         // ISBN key → comic key
    QHash<QString, QString> m_bySeriesVolume; // series key and volume → comic key
    QHash<QDate, QString> m_dates;
};

enum class Outcome { RollBack, Commit };

// Every row the pass stores fires triggers, so SQLite keeps a statement
// journal for each insert in case it has to undo it halfway; past 64 KB that
// journal goes to a temporary file, and the file writes cost more than the
// inserts themselves. Kept in memory for the pass, it stays small: one row's
// pages. Switching drops the connection's temporary tables and triggers, so
// a connection that has any is left as it is, only slower.
class TempInMemory {
public:
    explicit TempInMemory(db::Connection& connection) : m_connection(connection)
    {
        connection.endRead(); // the tables' reading would keep a transaction open
        if (sqlite3_get_autocommit(connection.handle()) == 0)
            return;
        const auto number = [&connection](const QString& sql) {
            db::Statement read(connection.handle(), sql); // finished before the switch, which it would block
            return read.step() ? read.columnInt64(0) : -1;
        };
        m_before = int(number(QStringLiteral("PRAGMA temp_store")));
        if (m_before == 2 || number(QStringLiteral("SELECT count(*) FROM temp.sqlite_master")) != 0)
            return;
        connection.execute(QStringLiteral("PRAGMA temp_store=MEMORY"));
        m_switched = true;
    }
    ~TempInMemory()
    {
        if (!m_switched || sqlite3_get_autocommit(m_connection.handle()) == 0)
            return;
        try {
            m_connection.execute(QStringLiteral("PRAGMA temp_store=%1").arg(m_before));
        } catch (const db::Error&) {
            // Only the speed of later temporary tables depends on it.
        }
    }
    TempInMemory(const TempInMemory&) = delete;
    TempInMemory& operator=(const TempInMemory&) = delete;

private:
    db::Connection& m_connection;
    int m_before = 0;
    bool m_switched = false;
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

    const TempInMemory tempInMemory(data.dbConnection());
    db::Transaction transaction(data.dbConnection());
    const ComicData::RememberedNames names(data);
    {
        Storing storing(data, options, summary);
        summary.plan = csvimport::planFile(path, format, mapping, planOptions,
                                           [&storing](const ImportRow& row) { storing.store(row); }, options.limits);
        storing.finish();
    }
    if (outcome == Outcome::Commit) {
        if (summary.plan.refusedRows > 0) {
            const csvimport::RowError& first = summary.plan.errors.value(0);
            QString message = QStringLiteral("„%1“, %2").arg(summary.fileName, first.text());
            if (summary.plan.refusedRows > 1)
                message += QStringLiteral(" (und %1 weitere fehlerhafte Zeilen)").arg(german(summary.plan.refusedRows - 1));
            throw db::Error(message + QStringLiteral(". Es wurde nichts importiert; berichtigen Sie die Datei und "
                                                     "importieren Sie sie noch einmal"));
        }
        // Inside the import's transaction: its volumes are searched through
        // the index from the first moment on, and one statement writes them all.
        db::search::catchUp(data.dbConnection().handle());
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
        text += QStringLiteral("; %1 schon vorhanden (gleiche ISBN oder gleiche Serie und Band): ").arg(german(existing));
        if (existingRule == ExistingRows::Skip)
            text += QStringLiteral("überspringen");
        else
            text += QStringLiteral("ergänzen (%1 davon um neue Angaben)").arg(german(completed));
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

ImportSummary dryRun(ComicData& data, const QString& path, const csvimport::Format& format,
                     const csvimport::Mapping& mapping, const ImportOptions& options)
{
    return run(data, path, format, mapping, options, Outcome::RollBack);
}

ImportSummary importFile(ComicData& data, const QString& path, const csvimport::Format& format,
                         const csvimport::Mapping& mapping, const ImportOptions& options)
{
    return run(data, path, format, mapping, options, Outcome::Commit);
}

} // namespace csvstore
