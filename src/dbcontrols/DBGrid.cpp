#include "dbcontrols/DBGrid.h"

#include "database/Table.h"
#include "core/Command.h"
#include "dbcontrols/FieldLink.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

namespace ui {

namespace {
void deleteCurrentRecord(db::DataSet& dataSet)
{
    if (auto* table = qobject_cast<db::Table*>(&dataSet))
        table->deleteRecord();
}
} // namespace

DBGrid::DBGrid(db::DataSource* source, QWidget* parent)
    : QTableView(parent), m_model(new DataSetModel(this)), m_deleteAction(deleteCurrentRecord)
{
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false); // Tab leaves the grid for the next control
    setWordWrap(false);
    setCornerButtonEnabled(false);

    QHeaderView* top = horizontalHeader();
    top->setSectionsClickable(true);
    top->setSectionResizeMode(QHeaderView::Interactive);
    top->setHighlightSections(false);
    top->setSortIndicatorShown(false);
    top->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(top, &QHeaderView::sectionClicked, this,
            [this](int column) { Q_EMIT titleClicked(column, m_model->fieldNameAt(column)); });

    // The vertical header is the row indicator: one narrow column with a marker.
    QHeaderView* side = verticalHeader();
    side->setSectionResizeMode(QHeaderView::Fixed);
    side->setDefaultSectionSize(fontMetrics().height() + 6);
    side->setDefaultAlignment(Qt::AlignCenter);
    side->setSectionsClickable(false);
    side->setHighlightSections(false);
    side->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("MM")) + 4);

    connect(m_model, &DataSetModel::columnsChanged, this, &DBGrid::applyColumns);
    connect(m_model, &DataSetModel::currentRowChanged, this, &DBGrid::followDataSet);
    setDataSource(source);
}

DBGrid::~DBGrid() = default;

void DBGrid::setDataSource(db::DataSource* source)
{
    m_model->setDataSource(source);
}

db::DataSource* DBGrid::dataSource() const
{
    return m_model->dataSource();
}

db::DataSet* DBGrid::dataSet() const
{
    return m_model->dataSet();
}

void DBGrid::setColumns(const QList<GridColumn>& columns)
{
    m_model->setColumns(columns);
}

QList<GridColumn> DBGrid::columns() const
{
    return m_model->columns();
}

QString DBGrid::fieldNameAt(int column) const
{
    return m_model->fieldNameAt(column);
}

void DBGrid::setEditable(bool editable)
{
    m_model->setEditable(editable);
    setEditTriggers(editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                   | QAbstractItemView::AnyKeyPressed
                             : QAbstractItemView::NoEditTriggers);
}

bool DBGrid::isEditable() const
{
    return m_model->editable();
}

void DBGrid::setDeleteAction(DeleteAction action)
{
    m_deleteAction = action ? std::move(action) : DeleteAction(deleteCurrentRecord);
}

void DBGrid::applyColumns()
{
    // Only when the columns themselves change: widths the user dragged
    // survive refiltering and reordering of the rows.
    const int charWidth = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const QList<GridColumn>& cols = m_model->columns();
    for (int c = 0; c < cols.size(); ++c) {
        setColumnHidden(c, !cols[c].visible);
        setColumnWidth(c, cols[c].width * charWidth + 8);
    }
}

void DBGrid::followDataSet()
{
    const int row = dataSet() ? dataSet()->currentRow() : -1;
    m_following = true;
    if (row < 0 || row >= m_model->rowCount()) {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    } else {
        int column = currentIndex().column();
        if (column < 0 || isColumnHidden(column)) {
            column = 0;
            while (column < m_model->columnCount() - 1 && isColumnHidden(column))
                ++column;
        }
        const QModelIndex target = m_model->index(row, column);
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(target);
    }
    m_following = false;
}

bool DBGrid::moveDataSet(int row)
{
    db::DataSet* ds = dataSet();
    if (!ds || !ds->active() || row == ds->currentRow())
        return true;
    bool moved = false;
    // Leaving a modified row posts it, and the post may be refused.
    runCommand([&] {
        updateRecord(ds);
        ds->moveToRow(row);
        moved = true;
    });
    return moved;
}

void DBGrid::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex hit = indexAt(event->position().toPoint());
    if (hit.isValid() && !m_following && !moveDataSet(hit.row())) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

QModelIndex DBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex target = QTableView::moveCursor(action, modifiers);
    db::DataSet* ds = dataSet();
    if (!target.isValid() || !ds || target.row() == ds->currentRow())
        return target;
    if (!moveDataSet(target.row()))
        return currentIndex();
    const int row = ds->currentRow();
    return row >= 0 && row < m_model->rowCount() ? m_model->index(row, target.column()) : QModelIndex();
}

void DBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (m_following || !current.isValid())
        return;
    db::DataSet* ds = dataSet();
    if (!ds || current.row() == ds->currentRow())
        return;
    // A change of the current cell that came neither from a click nor a key.
    if (!moveDataSet(current.row()) || ds->currentRow() != current.row())
        QTimer::singleShot(0, this, &DBGrid::followDataSet);
}

void DBGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && (event->modifiers() & Qt::ControlModifier)) {
        event->accept();
        if (m_deleteEnabled)
            askDelete();
        return;
    }
    QTableView::keyPressEvent(event);
}

void DBGrid::askDelete()
{
    db::DataSet* ds = dataSet();
    if (!ds || !ds->active() || ds->shownCount() == 0)
        return;
    if (!confirm(QStringLiteral("Datensatz löschen?"), this))
        return;
    // The question ran an event loop: the grid may have been rebound meanwhile.
    if (ds != dataSet())
        return;
    runCommand([&] { m_deleteAction(*ds); });
}

} // namespace ui
