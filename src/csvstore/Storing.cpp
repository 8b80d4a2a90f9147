#include "csvstore/Storing.h"

#include "core/Errors.h"
#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "database/GermanOrder.h"
#include "database/Isbn.h"
#include "database/Statement.h"

namespace f = db::fields;
using csvimport::ImportCopy;
using csvimport::ImportRow;

namespace csvstore::detail {

namespace {

// The keys of a table's rows by what keyOf makes of their names; of two
// names with one result, the first stored keeps it.
QHash<QString, QString> readKeys(db::Connection& connection, const QString& table, const QString& keyField,
                                 const QString& nameField, QString (*keyOf)(const QString&))
{
    QHash<QString, QString> keys;
    db::Statement read(connection.handle(),
                       QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY rowid").arg(keyField, nameField, table), table);
    while (read.step()) {
        const QString name = keyOf(read.column(1).toString());
        if (!name.isEmpty() && !keys.contains(name))
            keys.insert(name, read.column(0).toString());
    }
    return keys;
}

NamedList readNamed(db::Connection& connection, const QString& table, const QString& keyField,
                    const QString& nameField)
{
    return readKeys(connection, table, keyField, nameField, [](const QString& name) { return name; });
}

constexpr QLatin1String kEntryFields[] = {
    f::SCLTITEL1, f::SCLTITEL2,  f::SCLTITEL3, f::SCLSERIEID,   f::SCLBAND,      f::SCLVERLAGID,       f::SCLISBNNR,
    f::SCLSEITEN, f::SCLLITARTID, f::SCLSPARTEID, f::SCLINHALT, f::SCLBEMERKUNG, f::SCLMAXLIMANZAHL};
constexpr quint32 kMissing = 1u << std::size(kEntryFields);
constexpr quint32 kToBuy = kMissing << 1;

} // namespace

NameMatcher::NameMatcher(db::Connection& connection, db::KeyCounter& keys, bool writes, const QString& table,
                         const QString& keyField, const QString& nameField)
    : m_connection(connection), m_keys(keys), m_writes(writes), m_table(table), m_keyField(keyField),
      m_nameField(nameField), m_ids(readKeys(connection, table, keyField, nameField, &db::searchKey))
{
}

QString NameMatcher::find(const QString& name) const
{
    return name.isEmpty() ? QString() : m_ids.value(db::searchKey(name));
}

QString NameMatcher::idFor(const QString& name, int& made)
{
    if (name.isEmpty())
        return {};
    const QString key = db::searchKey(name);
    if (const auto found = m_ids.constFind(key); found != m_ids.constEnd())
        return *found;
    const QString id = m_keys.next();
    if (m_writes) {
        db::Statement& insert = m_connection.cached(
            QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, ?)").arg(m_table, m_keyField, m_nameField), m_table);
        insert.bindAll({id, name});
        insert.exec();
    }
    m_ids.insert(key, id);
    ++made;
    return id;
}

Storing::Storing(ComicData& data, const ImportOptions& options, ImportSummary& summary, Mode mode)
    : m_data(data), m_connection(data.dbConnection()), m_options(options), m_summary(summary),
      m_writes(mode == Mode::Write), m_tracks(!m_writes && options.existing == ExistingRows::Complete),
      m_catalogue(m_connection, QStringLiteral("tblStripothek"), QStringLiteral("SERVERSTRIPOTHEK")),
      m_keys(keyCounter(data)),
      m_publishers(m_connection, m_keys, m_writes, QStringLiteral("VERLAGE"), f::VLVERLAGID, f::VLNAME1),
      m_series(m_connection, m_keys, m_writes, QStringLiteral("SERIEN"), f::SRSERIENID, f::SRNAME),
      m_authors(m_connection, m_keys, m_writes, QStringLiteral("AUTOREN"), f::ANAUTORID, f::ANNAME),
      m_roles(readNamed(m_connection, QStringLiteral("AUTORTYP"), f::ATID, f::ATTYP)),
      m_conditions(readNamed(m_connection, QStringLiteral("ZUSTANDSARTEN"), f::ZWID, f::ZWNAME)),
      m_literatureTypes(readNamed(m_connection, QStringLiteral("LITERATURART"), f::LAARTID, f::LANAME)),
      m_literatureKinds(readNamed(m_connection, QStringLiteral("UNTERART"), f::UATID, f::UANAME)),
      m_executions(readNamed(m_connection, QStringLiteral("AUSFUEHRUNGEN"), f::AFAUSFID, f::AFNAME)),
      m_firstKey(m_keys.last()), m_volumes(m_keys.prefix())
{
    static_assert(std::size(kEntryFields) == kEntryFieldCount);
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
        m_volumes.add(read.column(0).toString(), read.column(1).toString(), read.column(2).toString(),
                      read.columnIsNull(3) ? std::optional<int>() : int(read.columnInt64(3)));
}

void Storing::finish()
{
    // The program's key table is read again, as after any key it draws.
    if (!m_writes || m_keys.last() == m_firstKey)
        return;
    m_keys.save();
    m_data.tblKeyGen().refresh();
}

void Storing::store(const ImportRow& row)
{
    // A volume that is there already is found through a stored series
    // only: a series the file brings new cannot hold it yet. A skipped
    // row makes nothing, not even its publisher.
    QString comicId = m_volumes.find(row.isbn, m_series.find(row.series), row.volume);
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
    m_volumes.add(comicId, row.isbn, seriesId, row.volume);
    addAuthors(comicId, row, true);
    if (row.copy)
        addCopy(comicId, *row.copy, row.line);
}

// The whole pass runs in one write transaction, so the counter row cannot
// move under it: reading it once and handing out its numbers in order
// gives the keys that drawing each one from the table would give.
db::KeyCounter Storing::keyCounter(ComicData& data)
{
    db::Table& keyGen = data.tblKeyGen();
    keyGen.checkActive();
    keyGen.checkBrowseMode();
    return db::KeyCounter(data.dbConnection(), keyGen.currentRowId(), keyGen.name(), keyGen.tableName());
}

qint32 Storing::linkNumber(const QString& authorId, const QString& roleId)
{
    const QString both = authorId.toUpper() + QChar(0x1f) + roleId.toUpper();
    if (const auto found = m_linkNumbers.constFind(both); found != m_linkNumbers.constEnd())
        return *found;
    return *m_linkNumbers.insert(both, qint32(m_linkNumbers.size()));
}

// The key of a read-only list's name; the plan matched it already, so a
// miss means the list has no names to match against at all.
QString Storing::idOf(const NamedList& list, const QString& name, int line, const char* what) const
{
    if (name.isEmpty())
        return {};
    const auto found = list.constFind(name);
    if (found == list.constEnd())
        throw db::Error(QStringLiteral("Zeile %1: „%2“ gibt es in der Liste %3 der Sammlung nicht")
                            .arg(QString::number(line), name, QString::fromUtf8(what)));
    return *found;
}

Storing::EntryValues Storing::entryValues(const ImportRow& row, const QString& seriesId,
                                          const QString& publisherId) const
{
    const auto text = [](const QString& value) { return value.isEmpty() ? QVariant() : QVariant(value); };
    const auto number = [](std::optional<int> value) { return value ? QVariant(*value) : QVariant(); };
    return {text(row.title1),
            text(row.title2),
            text(row.title3),
            text(seriesId),
            number(row.volume),
            text(publisherId),
            text(row.isbn),
            number(row.pages),
            text(idOf(m_literatureTypes, row.literatureType, row.line, "der Literaturtypen")),
            text(idOf(m_literatureKinds, row.literatureKind, row.line, "der Literaturarten")),
            text(row.content),
            text(row.remarks),
            number(row.limitation)};
}

Storing::Filled Storing::filledBy(const EntryValues& values, const ImportRow& row)
{
    Filled filled = (row.missing ? kMissing : 0) | (row.toBuy ? kToBuy : 0);
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i].isValid())
            filled |= 1u << i;
    return filled;
}

// Which fields of the entry hold a value now; writing, the catalogue table
// stands on the entry afterwards.
Storing::Filled Storing::filledNow(const QString& comicId)
{
    if (m_tracks)
        if (const auto found = m_filled.constFind(m_volumes.compact(comicId)); found != m_filled.constEnd())
            return *found;
    if (!m_catalogue.locate(f::SCLCOMICID, comicId))
        throw db::EngineError(m_catalogue.name(), QStringLiteral("Der Band %1 ist verschwunden").arg(comicId));
    Filled filled = 0;
    for (std::size_t i = 0; i < std::size(kEntryFields); ++i) {
        const db::Field& field = m_catalogue.fieldByName(kEntryFields[i]);
        if (!field.isNull() && !field.asString().isEmpty())
            filled |= 1u << i;
    }
    if (m_catalogue.fieldByName(f::SCLFEHLT).value().toInt() == 1)
        filled |= kMissing;
    if (m_catalogue.fieldByName(f::SCLZUKAUFEN).value().toInt() == 1)
        filled |= kToBuy;
    return filled;
}

QString Storing::insertEntry(const ImportRow& row, const QString& seriesId, const QString& publisherId)
{
    const EntryValues values = entryValues(row, seriesId, publisherId);
    if (!m_writes) {
        const QString id = m_keys.next();
        if (m_tracks)
            m_filled.insert(m_volumes.compact(id), filledBy(values, row));
        return id;
    }
    db::PendingRow pending(m_catalogue);
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i].isValid())
            m_catalogue.fieldByName(kEntryFields[i]).setValue(values[i]);
    m_catalogue.fieldByName(f::SCLFEHLT).setAsInteger(row.missing ? 1 : 0);
    m_catalogue.fieldByName(f::SCLZUKAUFEN).setAsInteger(row.toBuy ? 1 : 0);
    m_catalogue.fieldByName(f::SCLCOMICID).setAsString(m_keys.next());
    m_postedKey.clear();
    pending.post();
    return m_postedKey;
}

// Fills the entry's empty fields, adds the authors it lacks and, when it
// has no own copy yet, the row's copy. Whether anything changed.
bool Storing::complete(const QString& comicId, const ImportRow& row, const QString& seriesId,
                       const QString& publisherId)
{
    const EntryValues values = entryValues(row, seriesId, publisherId);
    const Filled before = filledNow(comicId);
    const Filled after = before | filledBy(values, row);
    bool changed = after != before;
    if (changed && m_writes) {
        m_catalogue.edit();
        for (std::size_t i = 0; i < values.size(); ++i)
            if (values[i].isValid() && !(before & (1u << i)))
                m_catalogue.fieldByName(kEntryFields[i]).setValue(values[i]);
        if (row.missing)
            m_catalogue.fieldByName(f::SCLFEHLT).setAsInteger(1);
        if (row.toBuy)
            m_catalogue.fieldByName(f::SCLZUKAUFEN).setAsInteger(1);
        m_catalogue.post();
    } else if (changed && m_tracks) {
        m_filled.insert(m_volumes.compact(comicId), after);
    }
    changed |= addAuthors(comicId, row, false);
    if (row.copy && !hasCopy(comicId)) {
        addCopy(comicId, *row.copy, row.line);
        changed = true;
    }
    return changed;
}

bool Storing::hasCopy(const QString& comicId)
{
    if (m_tracks && m_copied.contains(m_volumes.compact(comicId)))
        return true;
    db::Statement& has = m_connection.cached(
        QStringLiteral("SELECT 1 FROM LOKALESTRIPOTHEK WHERE LCLSERVERCOMICID = ? COLLATE NOCASE LIMIT 1"),
        m_catalogue.name());
    has.bindAll({comicId});
    const db::StatementReset resetting(has);
    return has.step();
}

// The row's authors the entry does not name yet in the same role; a new
// entry names none.
bool Storing::addAuthors(const QString& comicId, const ImportRow& row, bool newEntry)
{
    if (row.authors.isEmpty())
        return false;
    QSet<qint32> present;
    if (m_tracks)
        for (const qint32 link : m_links.value(m_volumes.compact(comicId)))
            present.insert(link);
    if (!newEntry) {
        // The keys' index compares without case; so must the condition, or SQLite reads every row.
        db::Statement& read = m_connection.cached(
            QStringLiteral("SELECT C2AAUTORID, C2AATID FROM COMIC2AUTOR WHERE C2ACOMICID = ? COLLATE NOCASE"),
            QStringLiteral("tblComic2Autor"));
        read.bindAll({comicId});
        const db::StatementReset resetting(read);
        while (read.step())
            present.insert(linkNumber(read.column(0).toString(), read.column(1).toString()));
    }
    bool added = false;
    for (const csvimport::ImportAuthor& author : row.authors) {
        const QString authorId = m_authors.idFor(author.name, m_summary.newAuthors);
        const QString roleId = idOf(m_roles, author.role, row.line, "der Funktionen");
        const qint32 both = linkNumber(authorId, roleId);
        if (present.contains(both))
            continue;
        present.insert(both);
        const QString linkId = m_keys.next();
        if (m_writes) {
            db::Statement& insert = m_connection.cached(
                QStringLiteral("INSERT INTO COMIC2AUTOR (C2AID, C2AAUTORID, C2ACOMICID, C2AATID) VALUES (?, ?, ?, ?)"),
                QStringLiteral("tblComic2Autor"));
            insert.bindAll({linkId, authorId, comicId, roleId.isEmpty() ? QVariant() : roleId});
            insert.exec();
        }
        ++m_summary.authorLinks;
        added = true;
    }
    if (added && m_tracks)
        m_links.insert(m_volumes.compact(comicId), present.values());
    return added;
}

// A date as a date field stores it; a file holds few dates many times
// over, and finding a day's start goes through the time zone each time.
const QString& Storing::storedDate(QDate date)
{
    auto found = m_dates.find(date);
    if (found == m_dates.end())
        found = m_dates.insert(date, date.startOfDay().toString(Qt::ISODate));
    return *found;
}

void Storing::addCopy(const QString& comicId, const ImportCopy& copy, int line)
{
    const auto text = [](const QString& value) { return value.isEmpty() ? QVariant() : QVariant(value); };
    const QVariantList values{m_keys.next(),
                              comicId,
                              text(idOf(m_conditions, copy.condition, line, "der Zustände")),
                              text(copy.edition),
                              copy.price ? QVariant(*copy.price) : QVariant(),
                              text(copy.currency),
                              copy.purchaseDate.isValid() ? QVariant(storedDate(copy.purchaseDate)) : QVariant(),
                              text(copy.storagePlace),
                              copy.number ? QVariant(*copy.number) : QVariant(),
                              text(copy.remarks),
                              text(idOf(m_executions, copy.execution1, line, "der Ausführungen")),
                              text(idOf(m_executions, copy.execution2, line, "der Ausführungen"))};
    if (m_writes) {
        db::Statement& insert = m_connection.cached(
            QStringLiteral("INSERT INTO LOKALESTRIPOTHEK (LCLCOMICID, LCLSERVERCOMICID, LCLZUSTANDID, LCLAUFLAGE, "
                           "LCLKPREIS, LCLKPREISWG, LCKKDATUM, LCLLAGERPLATZ, LCLNUMMER, LCLBEMERKUNG, "
                           "LCLAUSFUEHRUNGID1, LCLAUSFUEHRUNGID2) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            QStringLiteral("tblComicLocal"));
        insert.bindAll(values);
        insert.exec();
    } else if (m_tracks) {
        m_copied.insert(m_volumes.compact(comicId));
    }
    ++m_summary.copies;
}

} // namespace csvstore::detail
