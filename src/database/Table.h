#pragma once

#include "database/DataSet.h"
#include "database/Filter.h"
#include "database/RowSet.h"

#include <QHash>
#include <QSet>
#include <QMetaObject>
#include <functional>

namespace db {

class Statement;

// One table of the collection file with browse, edit and insert states.
// What it shows, and in what order, is its RowSet: the row ids of its
// current order and filter, the rows read on demand through a small cache,
// so the catalogue opens at once at any size.
class Table : public DataSet {
    Q_OBJECT
public:
    using Handler = std::function<void(Table&)>;

    Table(Connection& connection, const QString& componentName, const QString& tableName, QObject* parent = nullptr);
    ~Table() override;

    QString tableName() const { return m_tableName; }
    void setTableName(const QString& name); // only while closed

    void open();
    void close();
    // Only while closed. A table opened for exclusive use holds the whole
    // database (Connection::lockExclusive) until it is closed; opening fails
    // when another connection has the database open.
    void setExclusive(bool exclusive);
    bool exclusive() const { return m_exclusive; }
    void pack();        // needs exclusive use; the file shrinks with Connection::compact
    void emptyTable();  // needs exclusive use

    int recordCount() const; // rows stored; neither filter nor link reduces it

    void append();
    void insert();
    void edit();
    void post();
    void cancel();
    void deleteRecord();
    // Posts a modified pending row, drops an untouched one.
    void checkBrowseMode() override;

    Handler beforePost;
    Handler beforeInsert;
    Handler beforeDelete;
    Handler afterPost;

    // Filter: the expression is checked when it is set; a bad one is refused
    // and the previous filter stays in force.
    void setFilter(const QString& expression);
    QString filter() const { return m_filterText; }
    void setFiltered(bool filtered);
    bool filtered() const { return m_filtered; }

    // The catalogue's search over every text of a volume (see SearchIndex.h),
    // in force beside the filter, whether that is switched on or not. Keeps
    // the order, and the current row where it still shows. Empty text ends it.
    void setSearch(const QString& text);
    QString search() const { return m_searchText; }

    // Order by a named index, by field names (";"-separated), or natural.
    // keepRow false: the table stands on its first row afterwards, without
    // looking for the current row in the new order (at a million rows under
    // a filter that can mean reading most of them).
    void setIndexName(const QString& indexName, bool keepRow = true);
    QString indexName() const { return m_indexName; }
    void setIndexFieldNames(const QString& fieldNames);
    QString indexFieldNames() const { return m_orderFields.join(QLatin1Char(';')); }
    QStringList indexNames() const;
    QStringList indexFields(const QString& indexName) const;

    // Detail side of a master/detail link: shows the rows whose first order
    // field equals masterField of the master's current row.
    void setMasterSource(DataSource* master, const QString& masterField);
    DataSource* masterSource() const { return m_master; }

    bool locate(const QString& fieldName, const QVariant& value, LocateOptions options = LocateExact) override;
    // Whole-value search among the rows the table shows, without moving.
    QVariant lookup(const QString& keyField, const QVariant& keyValue, const QString& resultField) const;
    // Reads some fields of every row the table shows, in its order, in one
    // statement: for reports over many rows, where moving row by row would
    // read every field of every row. Does not move and tells no control; a
    // row being edited is read as stored. each must not change the table.
    void readShown(const QStringList& fieldNames, const std::function<void(const Statement& row)>& each) const;
    // The same with SQL expressions over the table's fields, which the
    // program writes itself: never typed text.
    void readShownSql(const QStringList& expressions, const std::function<void(const Statement& row)>& each) const;

    void setCurrentValue(int fieldIndex, const QVariant& value) override;
    void refresh(); // reads rows and order again, keeps the current row if it still shows
    void transactionStarted() override;
    void afterRollback() override; // back on the row that was current when the transaction began
    qint64 currentRowId() const;

    // While frozen, a post that moves its row in the order or out of the
    // filter leaves the rows shown as they are, so a walk over them saves
    // each row once; thawing puts them in order again at the next move.
    void freezeRowSet() { m_rowSet.freeze(); }
    void thawRowSet() noexcept { m_rowSet.thaw(); }

protected:
    void ensureRows() const override;
    int rowCountShown() const override;
    Row fetchRow(int row) const override;
    void afterMove() override;

private:
    void readStructure();
    // Tells the row set what it shows now: order, filter, link.
    void defineRows();
    // Without the row to keep, the position is kept, or with orFirst the
    // first row is taken: a new filter, search or order starts there, and
    // the old position may lie deep in rows not read yet.
    void resync(qint64 keepRowId, bool orFirst = false) const;
    void startInsert(int position);
    void updateChangedFields(const QVariantList& after);
    void followMaster();
    bool touchesRowSet(const Row& before) const;
    void acquireExclusiveUse();
    void releaseExclusiveUse() noexcept;

    QString m_tableName;
    bool m_exclusive = false;
    bool m_holdsExclusive = false;
    QHash<QString, QStringList> m_indexes; // upper-case name -> fields
    QSet<QString> m_nameIndexes;           // upper-case names of the indexes that sort names in German

    // Reading rows fills the row set's lists and cache: a table that is only
    // read, even through const members, changes them.
    mutable RowSet m_rowSet;
    qint64 m_editRowId = -1;
    int m_curBeforeInsert = -1;
    qint64 m_rowAtTransaction = -1;

    QString m_filterText;
    bool m_filtered = false;
    CompiledFilter m_compiled;
    QString m_searchText;
    CompiledFilter m_search;
    // The filter if switched on and the search, as one condition.
    CompiledFilter shownCondition() const;

    QString m_indexName;
    QStringList m_orderFields;

    DataSource* m_master = nullptr;
    QString m_masterField;
    int m_masterKeyIndex = -1; // where m_masterField was found, in the master's fields of
    quint64 m_masterKeyVersion = 0; // this version
    const Field* masterKey(const DataSet& master);
    QList<QMetaObject::Connection> m_masterConnections;
    QString m_selectColumns;
    QString m_insertSql; // made once: a bulk import posts it for every row
};

// Freezes the rows a table shows for a scope (see Table::freezeRowSet).
class RowSetFrozen {
public:
    explicit RowSetFrozen(Table& table) : m_table(table) { m_table.freezeRowSet(); }
    ~RowSetFrozen() { m_table.thawRowSet(); }
    RowSetFrozen(const RowSetFrozen&) = delete;
    RowSetFrozen& operator=(const RowSetFrozen&) = delete;

private:
    Table& m_table;
};

// A row appended for one command: post() stores it; every other way out of
// the scope (a refusal, a failure) drops it, so no half-filled row is left
// for the next move to store.
class PendingRow {
public:
    explicit PendingRow(Table& table) : m_table(table) { m_table.append(); }
    ~PendingRow()
    {
        if (m_posted)
            return;
        try {
            m_table.cancel();
        } catch (...) {
            // Dropping a row in memory fails only on a closed table, where
            // there is nothing left to drop.
        }
    }
    PendingRow(const PendingRow&) = delete;
    PendingRow& operator=(const PendingRow&) = delete;

    void post()
    {
        m_table.post();
        m_posted = true;
    }

private:
    Table& m_table;
    bool m_posted = false;
};

} // namespace db
