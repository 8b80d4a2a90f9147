#include "database/Table.h"

#include "core/Errors.h"
#include "database/Connection.h"
#include "database/GermanOrder.h"
#include "database/Schema.h"
#include "database/SearchIndex.h"
#include "database/Statement.h"

#include <QScopeGuard>
#include <sqlite3.h>

// Opening and closing a table, reading its structure, what it shows and
// where it stands; the search among the rows it shows.

namespace db {

Table::Table(Connection& connection, const QString& componentName, const QString& tableName, QObject* parent)
    : DataSet(connection, componentName, parent), m_tableName(tableName), m_rowSet(connection)
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

void Table::readStructure()
{
    sqlite3* handle = m_connection.handle();
    clearFields();
    {
        Statement info(handle, QStringLiteral("PRAGMA table_info(%1)").arg(quotedName(m_tableName)), name());
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
    Statement list(handle, QStringLiteral("PRAGMA index_list(%1)").arg(quotedName(m_tableName)), name());
    while (list.step()) {
        const QString index = list.column(1).toString();
        Statement cols(handle, QStringLiteral("PRAGMA index_info(%1)").arg(quotedName(index)), name());
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
    QStringList marks;
    for (const auto& f : m_fields) {
        columns << quotedName(f->fieldName());
        marks << QStringLiteral("?");
    }
    m_selectColumns = columns.join(QLatin1Char(','));
    m_insertSql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(quotedName(m_tableName), columns.mid(1).join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
}

void Table::defineRows()
{
    RowSet::Definition rows;
    rows.component = name();
    rows.table = m_tableName;
    rows.columns = fieldNames();
    for (const QString& field : std::as_const(m_orderFields)) {
        const Field* f = findField(field);
        rows.order.append({field, f && (f->dataType() == FieldType::Text || f->dataType() == FieldType::Memo)});
    }
    rows.germanNames = m_nameIndexes.contains(m_indexName.toUpper());
    rows.orderIndex = m_indexName;
    rows.detail = m_master != nullptr;
    rows.filter = shownCondition();
    // The search alone is counted in its index, without a look at each volume.
    if (rows.filter.sql == m_search.sql && !m_search.sql.isEmpty())
        rows.countSql = search::searchCountSql(m_searchText);
    m_rowSet.define(std::move(rows));
}

void Table::open()
{
    if (active())
        return;
    m_connection.connect();
    acquireExclusiveUse();
    const auto releaseUnlessOpen = qScopeGuard([this] {
        if (!active())
            releaseExclusiveUse();
    });
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
    defineRows();
    m_rowSet.unpin();
    m_state = DataSetState::Browse;
    if (m_master)
        m_rowSet.setLinkValue(m_master->dataSet()->active()
                                  ? m_master->dataSet()->fieldByName(m_masterField).asString().toUtf8()
                                  : QByteArray());
    m_cur = -1;
    resync(-1);
    opened();
}

void Table::close()
{
    if (!active())
        return;
    m_rowSet.clear();
    closed();
    releaseExclusiveUse();
}

int Table::recordCount() const
{
    checkActive();
    m_connection.beginRead();
    Statement& count = m_connection.cached(QStringLiteral("SELECT count(*) FROM %1").arg(quotedName(m_tableName)), name());
    const StatementReset resetting(count);
    count.step();
    return int(count.columnInt64(0));
}

void Table::resync(qint64 keepRowId, bool orFirst) const
{
    m_rowSet.read();
    auto* self = const_cast<Table*>(this);
    int n = m_rowSet.count();
    if (m_state == DataSetState::Insert) {
        self->m_insertPos = qBound(0, m_insertPos, n);
        self->m_cur = m_insertPos;
        return;
    }
    const qint64 keep = m_state == DataSetState::Edit ? m_editRowId : keepRowId;
    int pos = m_rowSet.positionAfterRead(keep, m_cur);
    if (pos < 0)
        pos = orFirst ? -1 : qBound(-1, m_cur, n - 1);
    n = m_rowSet.count();
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
    if (m_rowSet.stale() && active() && m_state != DataSetState::Insert)
        resync(const_cast<Table*>(this)->currentRowId());
}

qint64 Table::currentRowId() const
{
    if (m_state == DataSetState::Insert)
        return -1;
    if (m_state == DataSetState::Edit)
        return m_editRowId;
    return m_cur >= 0 && m_cur < m_rowSet.count() ? m_rowSet.idAt(m_cur) : -1;
}

int Table::rowCountShown() const
{
    return m_rowSet.count();
}

Row Table::fetchRow(int row) const
{
    return m_rowSet.row(row);
}

void Table::afterMove() {}

void Table::refresh()
{
    checkActive();
    checkBrowseMode();
    m_rowSet.unpin(); // read afresh: only rows that pass stay
    resync(currentRowId());
    m_eof = m_bof = m_rowSet.count() == 0;
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
    m_rowSet.unpin();
    m_insertPos = -1;
    m_state = DataSetState::Browse;
    m_modified = false;
    resync(keep);
    emitStateChanged();
    emitDataSetChanged();
}

bool Table::locate(const QString& fieldName, const QVariant& value, LocateOptions options)
{
    checkActive();
    checkBrowseMode();
    ensureRows();
    const Field& f = fieldByName(fieldName);
    const QString col = quotedName(f.fieldName());
    QVariantList params;
    QString condition;
    if (f.isNumeric()) {
        const QVariant v = f.normalized(value);
        if (v.isNull())
            return false;
        condition = col + QStringLiteral(" = ?");
        params << v;
    } else {
        // Without case, a name is found as it sorts: "Ibanez" finds "Ibáñez".
        const QString text = value.toString();
        const QString lhs = QStringLiteral("stfold(%1)").arg(col);
        const QString folded = searchKey(text);
        if (options & LocatePartialKey) {
            if (options & LocateCaseInsensitive) {
                condition = lhs + QStringLiteral(" LIKE ? ESCAPE '\\'");
                params << escapeLike(folded) + QLatin1Char('%');
            } else {
                condition = QStringLiteral("substr(%1, 1, ?) = ?").arg(col);
                params << int(text.size()) << text;
            }
        } else if (text.isEmpty()) {
            condition = QStringLiteral("IFNULL(%1, '') = ''").arg(col);
        } else if (options & LocateCaseInsensitive) {
            condition = lhs + QStringLiteral(" = ?");
            params << folded;
        } else {
            condition = QStringLiteral("%1 = ? COLLATE NOCASE AND %1 = ?").arg(col);
            params << text << text;
        }
    }
    const int pos = m_rowSet.firstPositionWhere(condition, params);
    if (pos < 0)
        return false;
    m_eof = m_bof = false;
    placeAt(pos);
    return true;
}

QVariant Table::lookup(const QString& keyField, const QVariant& keyValue, const QString& resultField) const
{
    if (!active())
        return {};
    const QString key = keyValue.toString();
    if (key.isEmpty())
        return {};
    const Field* k = findField(keyField);
    const Field* r = findField(resultField);
    if (!k || !r)
        return {};
    const QString condition = QStringLiteral("%1 = ? COLLATE NOCASE AND %1 = ?").arg(quotedName(k->fieldName()));
    return m_rowSet.firstValueWhere(r->fieldName(), condition, {key, key});
}

void Table::readShown(const QStringList& fieldNames, const std::function<void(const Statement& row)>& each) const
{
    checkActive();
    QStringList fields;
    for (const QString& name : fieldNames)
        fields << fieldByName(name).fieldName();
    m_rowSet.readAll(fields, each);
}

void Table::readShownSql(const QStringList& expressions, const std::function<void(const Statement& row)>& each) const
{
    checkActive();
    m_rowSet.readAllSql(expressions, each);
}

} // namespace db
