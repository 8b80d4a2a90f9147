#pragma once

#include "database/Filter.h"
#include "database/Row.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringList>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

struct sqlite3_value;

namespace db {

class Connection;
class Statement;

// A table or field name as the SQL text writes it.
inline QString quotedName(const QString& name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

// The rows a table shows: which rows pass (a detail's link, the filter), in
// what order, and where each one stands. It keeps their row ids and reads
// the rows themselves on demand through a small cache.
//
// Everything outside asks by position (count, idAt, positionOf, row) or by
// a condition among the rows shown, never for the list of ids: how the ids
// are kept, and when they are read, stays this class's own business. A read
// takes the first window of ids and counts the rest in the same snapshot;
// further ids are read in growing windows, continued after the key values
// of the last row read, as positions beyond them are asked for. So a
// collection of a million volumes shows its first screen after reading a
// few hundred ids, and a row once read keeps its position until the next
// read. Detail sets, and filters with few matches, are read whole at once.
// The members that may read from the file are not const.
class RowSet {
public:
    struct OrderKey {
        QString field;
        bool text = false; // sorts without regard to case, or by its German key
    };
    // What the set shows, in SQL terms.
    struct Definition {
        QString component; // names the table in error messages
        QString table;
        QStringList columns;      // read with each row, after its row id
        QList<OrderKey> order;    // the row id breaks ties
        bool germanNames = false; // the order's texts sort by their German key
        // A detail set follows its master's current row: it shows the rows
        // whose first order field equals the link value, and reads them whole.
        bool detail = false;
        CompiledFilter filter; // none while its condition is empty
        // A statement that counts the rows the filter lets through more
        // cheaply than count(*) over it, bound with the filter's values.
        QString countSql;
        // The index that holds the order, if one does: a filter with many
        // matches walks it window by window instead of sorting them all.
        QString orderIndex;
    };

    // How many ids the first window reads (later ones grow to 256 times as
    // many), and up to how many matches a filter sorts at once. Tests set
    // small ones so that their few rows cross windows.
    //
    // Many matches are first looked for along the order's index, but that
    // walk is cut short once it has cost about what sorting the matches
    // would (walkStepsPerMatch steps of SQLite's machine per match: sorting
    // one costs some forty): matches that all sort late in the order would
    // otherwise have it read most of the index. The window is then sorted;
    // with no steps at all every window is.
    struct Windows {
        int first = 256;
        int sortAtMost = 16384;
        int walkStepsPerMatch = 40;
    };
    static void setWindows(Windows windows);
    static const Windows& windows();

    explicit RowSet(Connection& connection) : m_connection(connection) {}

    // Takes effect at the next read().
    void define(Definition definition);
    const Definition& definition() const { return m_definition; }

    // The master's key as stored (UTF-8). Bound as it is, without a Qt
    // string: a detail set takes a new one on every move of the catalogue.
    void setLinkValue(QByteArrayView utf8);
    QByteArrayView linkValue() const { return m_linkUtf8; }

    // Reads which rows pass, in order; rows are read from the file afresh.
    void read();
    // Forgets every row without reading: nothing shows until the next read().
    void clear();
    // The rows are to be read again before they are used next.
    void invalidate() { m_stale = true; }
    bool stale() const { return m_stale; }

    // Known without reading the ids: the count comes with the first window.
    int count() const { return int(m_ids.size()) + m_unread; }
    // Reads on up to the position; -1 when the file ran short behind the set's back.
    qint64 idAt(int position)
    {
        if (size_t(position) >= m_ids.size())
            readUpTo(position);
        return size_t(position) < m_ids.size() ? m_ids[size_t(position)] : -1;
    }
    int positionOf(qint64 id); // -1 when the row does not show
    // Until the next read, a new row shows where it was posted and a deleted one leaves.
    void insert(int position, qint64 id);
    void erase(int position);

    // The row at a position, from the cache or the file. A row deleted
    // behind the set's back reads as a row of null values.
    Row row(int position);
    // The stored row changed: the cache must not answer for it any more.
    void forget(qint64 id) { m_cache.erase(id); }

    // The row posted last keeps showing while the user stays on it, even
    // when it no longer passes the filter: whatever is hung on the current
    // row next (authors, editions, own copies) must reach that row, not a
    // neighbour that happens to pass.
    void pin(qint64 id) { m_pinned = id; }
    void unpin() { m_pinned = -1; }
    qint64 pinned() const { return m_pinned; }
    // Where row id stands after a read; -1 when it does not show. Any other
    // row than the pinned one unpins it; the pinned row, still stored but
    // no longer passing, is put back at position near.
    int positionAfterRead(qint64 id, int near)
    {
        if (id >= 0)
            return placeAfterRead(id, near);
        unpin(); // a detail set on every move of the catalogue: nothing to look for
        return -1;
    }

    // While frozen, a row that moved in the order or left the filter leaves
    // the set as it is, so a walk over it meets each row once; the set is
    // read again after the last thaw. Freezing nests, and reads every id
    // not read yet: a row saved during the walk could otherwise move ahead
    // into a window still to come and be met twice.
    void freeze();
    void thaw() noexcept;
    bool frozen() const { return m_frozen > 0; }
    // A stored row changed a field of the order or of the filter.
    void rowMayHaveMoved();

    // Queries among the rows that pass (link and filter); fields are named,
    // the condition is SQL with ? for each of its values.
    // The first position of a row that meets the condition; -1 if none shows.
    int firstPositionWhere(const QString& condition, const QVariantList& values);
    // The field of any one row that meets the condition; null if none does.
    QVariant firstValueWhere(const QString& field, const QString& condition, const QVariantList& values);
    // Every row that passes, in order, with the fields asked for: one
    // statement, without the cache and without the rows held here.
    void readAll(const QStringList& fields, const std::function<void(const Statement& row)>& each);
    // The same with SQL expressions over the fields, written by the program, never typed.
    void readAllSql(const QStringList& expressions, const std::function<void(const Statement& row)>& each);

private:
    QString whereClause(QVariantList& values) const;
    QString whereWith(const QString& condition, QVariantList& values) const;
    QString orderClause() const;
    QStringList orderTerms() const;
    void readDetail();
    bool orderIndexed() const;
    int countWhere();
    void readUpTo(int position);
    bool readOn(int rows); // false once nothing is left to read
    int readWindow(int limit); // the rows the file gave
    void readRest();
    enum class Reading { Plain, Walk, Sorted };
    QString windowSql(Reading how, bool limited, QVariantList& values) const;
    // The rows a run of the statement gave; false when its budget ran out first.
    bool readIds(Reading how, int limit, int& read);
    void keep(qint64 id);
    QString afterCursor(bool unindexed) const;
    void bindCursor(Statement& statement, int first, bool unindexed) const;
    static int largestWindow();
    int positionRead(qint64 id);
    bool passes(qint64 id);
    void bindWhere(Statement& statement) const;
    bool linked() const { return m_definition.detail && !m_definition.order.isEmpty(); }
    bool filtered() const { return !m_definition.filter.sql.isEmpty(); }
    bool stored(qint64 id);
    int placeAfterRead(qint64 id, int near);
    void clearPositions()
    {
        m_positions.clear();
        m_linearLookups = 0;
    }

    Connection& m_connection;
    Definition m_definition;
    QString m_selectColumns; // the row id, then every column
    QByteArray m_linkUtf8;

    std::vector<qint64> m_ids; // the ids read so far, in order
    int m_unread = 0;          // rows counted but not read yet
    // Windows walk the order's index; false: the filter's matches are sorted.
    bool m_walkIndex = false;
    int m_matches = 0; // what the filter let through at the last read
    // Where the next window starts: the key values and row id of the last
    // row read, kept as SQLite gave them so that they compare exactly.
    struct Cursor {
        std::vector<std::unique_ptr<sqlite3_value, void (*)(sqlite3_value*)>> keys;
        qint64 id = -1;
    };
    Cursor m_cursor;
    QStringList m_terms; // the order's terms without the row id
    // Rows posted into the read part: a later window skips them.
    std::unordered_set<qint64> m_inserted;
    std::vector<qint64> m_spareIds; // a detail set's previous ids, kept for their memory
    // (id, position) sorted by id, built once lookups repeat: at a million
    // rows 16 MB, where a hash map takes two and a half times as much.
    std::vector<std::pair<qint64, int>> m_positions;
    int m_linearLookups = 0;
    bool m_stale = true;
    qint64 m_pinned = -1;
    int m_frozen = 0;
    bool m_missed = false; // a row moved while frozen

    RowCache m_cache;
    int m_nextSequential = -1; // where reading ahead continues

    QString m_idsSql; // the query of the ids, built once per definition
    // Its prepared statement, looked up once per text: a detail set runs it
    // on every move of the catalogue. Valid while the connection keeps its
    // statements.
    Statement* m_idsStatement = nullptr;
    quint64 m_idsStatementGeneration = 0;
};

} // namespace db
