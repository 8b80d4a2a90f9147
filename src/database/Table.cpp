#include "database/Table.h"

#include "database/Connection.h"
#include "database/Errors.h"
#include "database/GermanOrder.h"
#include "database/Schema.h"
#include "database/Statement.h"

#include <algorithm>
#include <sqlite3.h>

namespace db {

namespace {
constexpr int kBatch = 32;
constexpr size_t kCacheLimit = 4096;

} // namespace

Table::Table(Connection& connection, const QString& componentName, const QString& tableName, QObject* parent)
    : DataSet(connection, componentName, parent), m_tableName(tableName)
{
}

Table::~Table()
{
    releaseExclusiveUse();
}

void Table::setTableName(const QString& name)
{
    if (active())
        fail(QStringLiteral("Nicht möglich bei geöffneter Datenmenge"));
    m_tableName = name;
}

QString Table::quoted(const QString& fieldName) const
{
    return QLatin1Char('"') + fieldName + QLatin1Char('"');
}

void Table::readStructure()
{
    sqlite3* handle = m_connection.handle();
    clearFields();
    {
        Statement info(handle, QStringLiteral("PRAGMA table_info(%1)").arg(quoted(m_tableName)), name());
        while (info.step()) {
            int size = 0;
            const FieldType type = fieldTypeFromDecl(info.column(2).toString(), &size);
            addField(info.column(1).toString(), type, size);
        }
    }
    if (m_fields.empty())
        fail(QStringLiteral("Die Tabelle „%1“ fehlt in der Datenbank „%2“")
                 .arg(m_tableName, m_connection.databaseFile()),
             SQLITE_NOTFOUND);
    m_indexes.clear();
    m_nameIndexes.clear();
    const schema::TableDef* known = schema::table(m_tableName);
    Statement list(handle, QStringLiteral("PRAGMA index_list(%1)").arg(quoted(m_tableName)), name());
    while (list.step()) {
        const QString index = list.column(1).toString();
        Statement cols(handle, QStringLiteral("PRAGMA index_info(%1)").arg(quoted(index)), name());
        QStringList fields;
        bool expression = false;
        while (cols.step()) {
            expression = expression || cols.columnIsNull(2);
            fields << cols.column(2).toString();
        }
        // The program's own indexes order as the program defines them, also
        // in an older file whose index over names still ignores only the case.
        const schema::IndexDef* def = known ? schema::index(*known, index) : nullptr;
        if (def) {
            fields = def->fields;
            if (def->names)
                m_nameIndexes.insert(index.toUpper());
        } else if (expression) {
            continue; // an expression of someone else's: nothing to order by
        }
        m_indexes.insert(index.toUpper(), fields);
    }
    QStringList columns{QStringLiteral("rowid")};
    for (const auto& f : m_fields)
        columns << quoted(f->fieldName());
    m_selectColumns = columns.join(QLatin1Char(','));
}

void Table::open()
{
    if (active())
        return;
    m_connection.connect();
    acquireExclusiveUse();
    struct ReleaseUnlessOpen {
        Table* table;
        ~ReleaseUnlessOpen()
        {
            if (!table->active())
                table->releaseExclusiveUse();
        }
    } releaseUnlessOpen{this};
    readStructure();
    if (!m_indexName.isEmpty()) {
        const auto it = m_indexes.constFind(m_indexName.toUpper());
        if (it == m_indexes.constEnd()) {
            clearFields();
            fail(QStringLiteral("Index '%1' nicht gefunden").arg(m_indexName));
        }
        m_orderFields = *it;
    }
    for (const QString& f : m_orderFields)
        if (!findField(f)) {
            clearFields();
            fail(QStringLiteral("Feld '%1' nicht gefunden").arg(f));
        }
    if (!m_filterText.isEmpty()) {
        try {
            m_compiled = compileFilter(m_filterText, [this](const QString& n) { return findField(n); },
                                       [this](const QString& n) { return germanKeyColumnIn(m_connection.handle(), n); });
        } catch (const Error& e) {
            clearFields();
            fail(QStringLiteral("Ungültiger Filterausdruck „%1“: %2").arg(abbreviatedExpression(m_filterText), e.message()));
        }
    }
    m_rowsSql.clear();
    m_pinnedRowId = -1;
    m_state = DataSetState::Browse;
    if (m_master)
        setLinkValue(m_master->dataSet()->active() ? m_master->dataSet()->fieldByName(m_masterField).asString()
                                                   : QString());
    m_cur = -1;
    resync(-1);
    opened();
}

void Table::close()
{
    if (!active())
        return;
    m_pinnedRowId = -1;
    m_rows.clear();
    clearPositions();
    m_cache.clear();
    closed();
    releaseExclusiveUse();
}

void Table::setExclusive(bool exclusive)
{
    if (active())
        fail(QStringLiteral("Nicht möglich bei geöffneter Datenmenge"));
    m_exclusive = exclusive;
}

void Table::pack()
{
    checkActive();
    if (!m_exclusive)
        fail(QStringLiteral("Die Tabelle ist nicht exklusiv geöffnet"));
    checkBrowseMode();
    // SQLite keeps every index exact on each write: there is nothing to
    // rebuild per table. The space of deleted rows comes back when the
    // whole file is rewritten (Connection::compact), which also writes the
    // indexes anew; doing both would build every index twice.
    refresh();
}

void Table::emptyTable()
{
    checkActive();
    if (!m_exclusive)
        fail(QStringLiteral("Die Tabelle ist nicht exklusiv geöffnet"));
    cancel();
    m_connection.execute(QStringLiteral("DELETE FROM %1").arg(quoted(m_tableName)));
    refresh();
}

int Table::recordCount() const
{
    checkActive();
    m_connection.beginRead();
    Statement& count = m_connection.cached(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(m_tableName)), name());
    const StatementReset resetting(count);
    count.step();
    return int(count.columnInt64(0));
}

void Table::resync(qint64 keepRowId) const
{
    // A detail table shows the few rows of one comic: read them whole at
    // once instead of ids first and rows after.
    const bool wholeRows = m_master != nullptr;
    // Detail tables run this on every move of the catalogue: the text is
    // built once per order, filter and link, only the values change.
    if (m_rowsSql.isEmpty()) {
        m_rowsStatement = nullptr;
        QVariantList unused;
        m_rowsSql = QStringLiteral("SELECT %1 FROM %2").arg(wholeRows ? m_selectColumns : QStringLiteral("rowid"),
                                                            quoted(m_tableName)) +
                    whereClause(unused) + orderClause();
    }
    m_connection.beginRead();
    m_connection.handle(); // a damaged file is not read again, not even through a kept statement
    if (!m_rowsStatement || m_rowsStatementGeneration != m_connection.statementGeneration()) {
        m_rowsStatement = &m_connection.cached(m_rowsSql, name());
        m_rowsStatementGeneration = m_connection.statementGeneration();
    }
    Statement& select = *m_rowsStatement;
    bindWhere(select);
    // A detail table reads a few ids on every move of the catalogue: the
    // list it read before is filled again instead of allocated anew.
    std::vector<qint64> rows = wholeRows ? std::move(m_spareRows) : std::vector<qint64>();
    rows.clear();
    rows.reserve(wholeRows ? 8 : m_rows.size());
    m_cache.clear();
    const int columns = fieldCount();
    {
        const StatementReset resetting(select);
        while (select.step()) {
            const qint64 id = select.columnInt64(0);
            rows.push_back(id);
            if (wholeRows && m_cache.size() < kCacheLimit)
                m_cache.put(id, Row::read(select, 1, columns));
        }
    }
    m_rows.swap(rows);
    if (wholeRows)
        m_spareRows = std::move(rows);
    clearPositions();
    m_stale = false;

    auto* self = const_cast<Table*>(this);
    int n = int(m_rows.size());
    if (m_state == DataSetState::Insert) {
        self->m_insertPos = qBound(0, m_insertPos, n);
        self->m_cur = m_insertPos;
        return;
    }
    const qint64 keep = m_state == DataSetState::Edit ? m_editRowId : keepRowId;
    int pos = keep >= 0 ? positionOf(keep) : -1;
    if (keep != m_pinnedRowId)
        m_pinnedRowId = -1;
    else if (pos < 0 && keep >= 0 && rowExists(keep)) {
        pos = qBound(0, m_cur, n);
        m_rows.insert(m_rows.begin() + pos, keep);
        clearPositions();
    }
    if (pos < 0)
        pos = qBound(-1, m_cur, n - 1);
    n = int(m_rows.size());
    if (pos < 0 && n > 0)
        pos = 0;
    self->m_cur = pos;
    if (m_state == DataSetState::Browse)
        self->loadCurrent();
}

void Table::ensureRows() const
{
    // Rows are put in order again lazily, and never under a pending new row,
    // so a loop of appends costs no re-reading.
    if (m_stale && active() && m_state != DataSetState::Insert)
        resync(const_cast<Table*>(this)->currentRowId());
}

qint64 Table::currentRowId() const
{
    if (m_state == DataSetState::Insert)
        return -1;
    if (m_state == DataSetState::Edit)
        return m_editRowId;
    return m_cur >= 0 && m_cur < int(m_rows.size()) ? m_rows[size_t(m_cur)] : -1;
}

int Table::positionOf(qint64 rowId) const
{
    // One scan of the ids is cheaper than building the map, until lookups repeat.
    if (m_positions.empty() && ++m_linearLookups <= 4) {
        const auto it = std::find(m_rows.begin(), m_rows.end(), rowId);
        return it == m_rows.end() ? -1 : int(it - m_rows.begin());
    }
    if (m_positions.empty() && !m_rows.empty()) {
        m_positions.reserve(m_rows.size());
        for (size_t i = 0; i < m_rows.size(); ++i)
            m_positions.emplace(m_rows[i], int(i));
    }
    const auto it = m_positions.find(rowId);
    return it == m_positions.end() ? -1 : it->second;
}

bool Table::rowExists(qint64 rowId) const
{
    m_connection.beginRead();
    Statement& find =
        m_connection.cached(QStringLiteral("SELECT 1 FROM %1 WHERE rowid=?").arg(quoted(m_tableName)), name());
    find.bind(1, rowId);
    const StatementReset resetting(find);
    return find.step();
}

int Table::rowCountShown() const
{
    return int(m_rows.size());
}

Row Table::fetchRow(int row) const
{
    if (row < 0 || row >= int(m_rows.size()))
        return Row(fieldCount());
    const qint64 id = m_rows[size_t(row)];
    if (const Row* hit = m_cache.find(id))
        return *hit;
    if (m_cache.size() > kCacheLimit)
        m_cache.clear();

    // Walking and painting go row after row: read ahead then. A jump
    // (locate, a click far away) reads just the row asked for.
    const bool sequential = row == m_nextSequential;
    const int batch = sequential ? kBatch : 1;
    m_nextSequential = row + batch;
    QString placeholders = QStringLiteral("?");
    for (int i = 1; i < batch; ++i)
        placeholders += QStringLiteral(",?");
    m_connection.beginRead();
    Statement& select = m_connection.cached(
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid IN (%3)").arg(m_selectColumns, quoted(m_tableName), placeholders),
        name());
    for (int i = 0; i < batch; ++i) {
        const size_t at = size_t(row + i);
        select.bind(i + 1, at < m_rows.size() ? QVariant(m_rows[at]) : QVariant(qint64(-1)));
    }
    const int columns = fieldCount();
    {
        const StatementReset resetting(select);
        while (select.step())
            m_cache.put(select.columnInt64(0), Row::read(select, 1, columns));
    }
    const Row* read = m_cache.find(id);
    if (!read) // deleted behind our back
        return Row(fieldCount());
    return *read;
}

void Table::afterMove() {}

void Table::setCurrentValue(int fieldIndex, const QVariant& value)
{
    checkActive();
    if (!isEditing())
        fail(QStringLiteral("Datenmenge ist nicht im Editier- oder Einfügemodus"));
    if (fieldIndex < 0 || fieldIndex >= m_buffer.size())
        return;
    m_buffer.setValue(fieldIndex, value);
    m_modified = true;
    emitFieldChanged(fieldIndex);
}

void Table::startInsert(int position)
{
    if (beforeInsert)
        beforeInsert(*this);
    m_curBeforeInsert = m_cur;
    m_insertPos = position;
    m_cur = position;
    m_buffer = Row(fieldCount());
    if (m_master && !m_orderFields.isEmpty())
        if (Field* link = findField(m_orderFields.first()))
            m_buffer.setValue(link->index(), linkValue());
    m_eof = m_bof = false;
    setState(DataSetState::Insert);
    emitDataSetChanged();
}

void Table::append()
{
    checkActive();
    checkBrowseMode();
    // A stale row list is not sorted again here: the new row goes to its end.
    startInsert(int(m_rows.size()));
}

void Table::insert()
{
    checkActive();
    checkBrowseMode();
    ensureRows();
    startInsert(qMax(0, m_cur));
}

void Table::edit()
{
    checkActive();
    if (isEditing())
        return;
    ensureRows();
    if (m_rows.empty()) {
        append();
        return;
    }
    m_editRowId = m_rows[size_t(m_cur)];
    setState(DataSetState::Edit);
}

bool Table::touchesRowSet(const Row& before) const
{
    QStringList watched = m_orderFields;
    if (m_filtered)
        watched << m_compiled.fields;
    for (const QString& name : watched) {
        const Field* f = findField(name);
        if (f && before.value(f->index()) != m_buffer.value(f->index())) {
            if (!m_rowSetFrozen)
                return true;
            m_rowSetMissed = true;
            return false;
        }
    }
    return false;
}

void Table::post()
{
    checkActive();
    if (!isEditing())
        return;
    updateRecord();
    if (beforePost)
        beforePost(*this);
    if (!isEditing()) // the handler may have cancelled
        return;
    QVariantList values;
    values.reserve(fieldCount());
    for (int i = 0; i < fieldCount(); ++i)
        values << m_buffer.value(i);

    qint64 posted = -1;
    if (m_state == DataSetState::Insert) {
        QStringList columns;
        QStringList marks;
        for (const auto& f : m_fields) {
            columns << quoted(f->fieldName());
            marks << QStringLiteral("?");
        }
        m_connection.endRead();
        Statement& insert = m_connection.cached(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                                    .arg(quoted(m_tableName), columns.join(QLatin1Char(',')),
                                                         marks.join(QLatin1Char(','))),
                                                name());
        insert.bindAll(values);
        insert.exec();
        const qint64 id = sqlite3_last_insert_rowid(m_connection.handle());
        posted = id;
        const int pos = qBound(0, m_insertPos, int(m_rows.size()));
        const bool atEnd = pos == int(m_rows.size());
        m_rows.insert(m_rows.begin() + pos, id);
        clearPositions();
        m_cur = pos;
        m_insertPos = -1;
        if (!(atEnd && m_orderFields.isEmpty() && !m_filtered))
            invalidate();
    } else {
        // Read before the write: a read here would open a read transaction
        // again, and the UPDATE inside it would stay uncommitted until the
        // event loop turns.
        const Row before = fetchRow(m_cur);
        m_connection.endRead();
        updateChangedFields(values);
        m_cache.erase(m_editRowId);
        posted = m_editRowId;
        if (touchesRowSet(before))
            invalidate();
    }
    m_cache.erase(posted);
    m_pinnedRowId = posted;
    setState(DataSetState::Browse);
    if (afterPost)
        afterPost(*this);
    emitDataSetChanged();
}

void Table::cancel()
{
    if (!isEditing())
        return;
    if (m_state == DataSetState::Insert) {
        m_insertPos = -1;
        const int n = int(m_rows.size());
        m_cur = qBound(-1, m_curBeforeInsert, n - 1);
        if (m_cur < 0 && n > 0)
            m_cur = 0;
    }
    setState(DataSetState::Browse);
    ensureRows();
    loadCurrent();
    emitDataSetChanged();
}

void Table::checkBrowseMode()
{
    if (!isEditing())
        return;
    updateRecord();
    if (m_modified)
        post();
    else
        cancel();
}

void Table::deleteRecord()
{
    checkActive();
    if (m_state == DataSetState::Insert) {
        cancel();
        return;
    }
    ensureRows();
    if (m_rows.empty())
        fail(QStringLiteral("Operation bei leerer Datenmenge nicht ausführbar"));
    if (m_state == DataSetState::Edit)
        cancel();
    if (beforeDelete)
        beforeDelete(*this);
    const qint64 id = m_rows[size_t(m_cur)];
    m_connection.endRead();
    Statement& remove =
        m_connection.cached(QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(quoted(m_tableName)), name());
    remove.bind(1, id);
    remove.exec();
    m_rows.erase(m_rows.begin() + m_cur);
    clearPositions();
    m_cache.erase(id);
    if (id == m_pinnedRowId)
        m_pinnedRowId = -1;
    if (m_cur >= int(m_rows.size()))
        m_cur = int(m_rows.size()) - 1;
    m_eof = m_rows.empty();
    m_bof = m_rows.empty();
    loadCurrent();
    emitDataSetChanged();
}

void Table::refresh()
{
    checkActive();
    checkBrowseMode();
    m_pinnedRowId = -1; // read afresh: only rows that pass stay
    resync(currentRowId());
    m_eof = m_rows.empty();
    m_bof = m_rows.empty();
    emitDataSetChanged();
}

void Table::transactionStarted()
{
    m_rowAtTransaction = active() ? currentRowId() : -1;
}

void Table::afterRollback()
{
    if (!active())
        return;
    // A failed deletion must leave the same comic current, not the one the
    // deletion had moved on to.
    const qint64 keep = m_rowAtTransaction >= 0 ? m_rowAtTransaction : currentRowId();
    m_rowAtTransaction = -1;
    m_pinnedRowId = -1;
    m_insertPos = -1;
    m_state = DataSetState::Browse;
    m_modified = false;
    resync(keep);
    emitStateChanged();
    emitDataSetChanged();
}

} // namespace db
