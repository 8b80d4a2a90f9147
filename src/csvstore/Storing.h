#pragma once

#include "csvstore/CsvStore.h"
#include "csvstore/VolumeIndex.h"
#include "database/RecordKeys.h"
#include "database/Table.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <array>
#include <optional>

class ComicData;

namespace csvstore::detail {

// The names of one of the collection's read-only lists: stored name (exact) → key.
using NamedList = QHash<QString, QString>;

// Publishers, series or authors: a name from the file finds the stored row
// whose name sorts as the same, whatever its case and accents ("CARLSEN",
// "Carlsén" → "Carlsen"); otherwise the row is made once and found by the
// rows after it.
class NameMatcher {
public:
    NameMatcher(db::Connection& connection, db::KeyCounter& keys, bool writes, const QString& table,
                const QString& keyField, const QString& nameField);

    // The key of the stored row the name stands for, or none.
    QString find(const QString& name) const;
    // The same, the row made when there is none; made counts those.
    QString idFor(const QString& name, int& made);

private:
    db::Connection& m_connection;
    db::KeyCounter& m_keys;
    bool m_writes;
    QString m_table, m_keyField, m_nameField;
    QHash<QString, QString> m_ids; // search key → row key
};

// One pass over the file inside the caller's transaction. Writing, each row
// is stored; deciding (the trial run), each row goes through the same
// decisions and counts, and what storing would have written is remembered
// only as far as later rows of the file would read it back: which fields of
// an entry hold a value, its authors, whether it has an own copy.
class Storing {
public:
    enum class Mode { Write, Decide };
    Storing(ComicData& data, const ImportOptions& options, ImportSummary& summary, Mode mode);

    void store(const csvimport::ImportRow& row);
    // The keys drawn are used up: the counter row learns the last one.
    void finish();

private:
    // The catalogue fields a row can fill, in this order; a bit each in Filled.
    static constexpr std::size_t kEntryFieldCount = 13;
    using EntryValues = std::array<QVariant, kEntryFieldCount>; // invalid where the row has nothing
    using Filled = quint32;

    static db::KeyCounter keyCounter(ComicData& data);
    qint32 linkNumber(const QString& authorId, const QString& roleId);
    QString idOf(const NamedList& list, const QString& name, int line, const char* what) const;
    EntryValues entryValues(const csvimport::ImportRow& row, const QString& seriesId, const QString& publisherId) const;
    static Filled filledBy(const EntryValues& values, const csvimport::ImportRow& row);
    Filled filledNow(const QString& comicId);
    bool hasCopy(const QString& comicId);
    QString insertEntry(const csvimport::ImportRow& row, const QString& seriesId, const QString& publisherId);
    bool complete(const QString& comicId, const csvimport::ImportRow& row, const QString& seriesId,
                  const QString& publisherId);
    bool addAuthors(const QString& comicId, const csvimport::ImportRow& row, bool newEntry);
    const QString& storedDate(QDate date);
    void addCopy(const QString& comicId, const csvimport::ImportCopy& copy, int line);

    ComicData& m_data;
    db::Connection& m_connection;
    const ImportOptions& m_options;
    ImportSummary& m_summary;
    const bool m_writes;
    // Deciding with existing rows completed: later rows of the file may
    // complete what earlier ones made, so those must be remembered.
    const bool m_tracks;
    db::Table m_catalogue;
    QString m_postedKey;
    db::KeyCounter m_keys;
    NameMatcher m_publishers, m_series, m_authors;
    NamedList m_roles, m_conditions, m_literatureTypes, m_literatureKinds, m_executions;
    qint64 m_firstKey;
    VolumeIndex m_volumes;
    QHash<QDate, QString> m_dates;
    // What deciding did not write: per entry made or completed, by its
    // record key's number (VolumeIndex::compact).
    QHash<qint64, Filled> m_filled;
    QHash<qint64, QList<qint32>> m_links; // the entry's author and role pairs (linkNumber)
    QSet<qint64> m_copied;
    QHash<QString, qint32> m_linkNumbers; // author key, 0x1f, role key (upper case) → number
};

} // namespace csvstore::detail
