#include "dbcontrols/DataSetModel.h"

#include "database/Table.h"
#include "core/Command.h"

#include <algorithm>

namespace ui {

namespace {
bool sameColumns(const QList<GridColumn>& a, const QList<GridColumn>& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].fieldName.compare(b[i].fieldName, Qt::CaseInsensitive) != 0 || a[i].title != b[i].title
            || a[i].width != b[i].width || a[i].visible != b[i].visible)
            return false;
    return true;
}
} // namespace

DataSetModel::DataSetModel(QObject* parent) : QAbstractTableModel(parent) {}

db::DataSet* DataSetModel::dataSet() const
{
    return m_source ? m_source->dataSet() : nullptr;
}

void DataSetModel::setDataSource(db::DataSource* source)
{
    for (const auto& c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_source = source;
    if (source) {
        m_connections << connect(source, &db::DataSource::dataSetChanged, this, &DataSetModel::reset)
                      << connect(source, &db::DataSource::stateChanged, this, &DataSetModel::onStateChanged)
                      << connect(source, &db::DataSource::scrolled, this, &DataSetModel::onScrolled)
                      << connect(source, &db::DataSource::fieldChanged, this, &DataSetModel::onFieldChanged)
                      << connect(source, &db::DataSource::rowsRead, this, &DataSetModel::onRowsRead)
                      << connect(source, &QObject::destroyed, this, &DataSetModel::reset);
    }
    reset();
}

void DataSetModel::setColumns(const QList<GridColumn>& columns)
{
    m_ownColumns = columns;
    reset();
}

QList<GridColumn> DataSetModel::effectiveColumns() const
{
    db::DataSet* ds = dataSet();
    QList<GridColumn> result;
    if (!m_ownColumns.isEmpty()) {
        for (GridColumn c : m_ownColumns) {
            const db::Field* f = ds ? ds->findField(c.fieldName) : nullptr;
            if (c.title.isEmpty())
                c.title = f ? f->displayLabel() : c.fieldName;
            if (c.width <= 0)
                c.width = f ? f->displayWidth() : 10;
            result << c;
        }
        return result;
    }
    if (!ds || !ds->active())
        return result;
    for (int i = 0; i < ds->fieldCount(); ++i) {
        const db::Field& f = ds->field(i);
        result << GridColumn{f.fieldName(), f.displayLabel(), f.displayWidth(), f.visible()};
    }
    return result;
}

void DataSetModel::reset()
{
    db::DataSet* ds = dataSet();
    QList<GridColumn> columns = effectiveColumns();
    const bool columnsDiffer = !sameColumns(columns, m_columns);

    beginResetModel();
    m_columns = std::move(columns);
    m_fieldIndexes.clear();
    if (m_ownColumns.isEmpty()) {
        // One column per field, in the field's place: a result may name two
        // columns alike (a self-join), and a name would find the same one twice.
        for (qsizetype i = 0; i < m_columns.size(); ++i)
            m_fieldIndexes << int(i);
    } else {
        for (const GridColumn& c : std::as_const(m_columns)) {
            const db::Field* f = ds && ds->active() ? ds->findField(c.fieldName) : nullptr;
            m_fieldIndexes << (f ? f->index() : -1);
        }
    }
    // shownCount() reads only the row ids of the current order; no row is fetched.
    m_rows = ds ? ds->shownCount() : 0;
    m_markedRow = ds ? ds->currentRow() : -1;
    endResetModel();

    if (columnsDiffer)
        Q_EMIT columnsChanged();
    Q_EMIT currentRowChanged(m_markedRow);
}

void DataSetModel::onScrolled()
{
    db::DataSet* ds = dataSet();
    if (!ds || ds->shownCount() != m_rows) {
        reset();
        return;
    }
    const int old = m_markedRow;
    m_markedRow = ds->currentRow();
    if (old >= 0 && old < m_rows)
        Q_EMIT headerDataChanged(Qt::Vertical, old, old);
    if (m_markedRow >= 0 && m_markedRow != old)
        Q_EMIT headerDataChanged(Qt::Vertical, m_markedRow, m_markedRow);
    Q_EMIT currentRowChanged(m_markedRow);
}

void DataSetModel::onStateChanged()
{
    db::DataSet* ds = dataSet();
    // Opening, closing and an insert row change the rows; a reset is cheap.
    if (!ds || !ds->active() || ds->shownCount() != m_rows) {
        reset();
        return;
    }
    onScrolled();
}

void DataSetModel::onFieldChanged(int)
{
    db::DataSet* ds = dataSet();
    const int row = ds ? ds->currentRow() : -1;
    if (row < 0 || row >= m_rows || m_columns.isEmpty())
        return;
    Q_EMIT dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
}

void DataSetModel::onRowsRead(int first, int last)
{
    db::DataSet* ds = dataSet();
    const int rows = ds ? ds->shownCount() : 0;
    if (rows < m_rows) {
        reset();
        return;
    }
    // Rows added at the end keep the view where it is, its current cell and
    // its scroll position; a reset would throw both away.
    const int before = m_rows;
    if (rows > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    }
    last = std::min(last, before - 1);
    if (first >= 0 && first <= last && !m_columns.isEmpty())
        Q_EMIT dataChanged(index(first, 0), index(last, int(m_columns.size()) - 1));
}

bool DataSetModel::canFetchMore(const QModelIndex& parent) const
{
    const db::DataSet* ds = dataSet();
    return !parent.isValid() && ds && ds->active() && ds->canReadMore();
}

void DataSetModel::fetchMore(const QModelIndex& parent)
{
    if (canFetchMore(parent))
        dataSet()->readMore();
}

QString DataSetModel::fieldNameAt(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns[column].fieldName : QString();
}

int DataSetModel::fieldIndexAt(int column) const
{
    return column >= 0 && column < m_fieldIndexes.size() ? m_fieldIndexes[column] : -1;
}

int DataSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int DataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const
{
    db::DataSet* ds = dataSet();
    const int fi = fieldIndexAt(index.column());
    // A data set may have been reopened behind paused notifications; its
    // fields are then other objects, so check before touching them.
    if (!ds || fi < 0 || fi >= ds->fieldCount()
        || ds->field(fi).fieldName().compare(m_columns[index.column()].fieldName, Qt::CaseInsensitive) != 0)
        return {};
    const db::Field& f = ds->field(fi);
    // Painting is no command: a row that cannot be read shows empty, and the
    // failure reaches the user once through the event loop, not from inside
    // the view's paint code.
    try {
        switch (role) {
        case Qt::DisplayRole:
            return f.displayTextOf(ds->valueAt(index.row(), fi));
        case Qt::EditRole:
            return f.textOf(ds->valueAt(index.row(), fi));
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignVCenter | (f.isNumeric() ? Qt::AlignRight : Qt::AlignLeft));
        default:
            return {};
        }
    } catch (...) {
        reportLater(std::current_exception());
        return {};
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < m_columns.size() ? m_columns[section].title : QString();
    if (section != m_markedRow)
        return QString();
    const db::DataSet* ds = dataSet();
    switch (ds ? ds->state() : db::DataSetState::Inactive) {
    case db::DataSetState::Edit:
        return QStringLiteral("I");
    case db::DataSetState::Insert:
        return QStringLiteral("*");
    default:
        return QStringLiteral("▶");
    }
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (m_editable && fieldIndexAt(index.column()) >= 0 && qobject_cast<db::Table*>(dataSet()))
        result |= Qt::ItemIsEditable;
    return result;
}

bool DataSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    auto* table = qobject_cast<db::Table*>(dataSet());
    const QString name = fieldNameAt(index.column());
    const QString text = value.toString();
    bool ok = false;
    runCommand([&] {
        if (table->currentRow() != index.row())
            table->moveToRow(index.row());
        if (table->currentRow() != index.row())
            throw db::Abort();
        db::Field& f = table->fieldByName(name);
        if (text == f.textOf(f.value())) {
            ok = true;
            return;
        }
        table->edit();
        db::Field& target = table->fieldByName(name);
        if (text.isEmpty())
            target.clear();
        else
            target.setAsString(text);
        ok = true;
    });
    return ok;
}

} // namespace ui
