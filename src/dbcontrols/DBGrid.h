#pragma once

#include "dbcontrols/DataSetModel.h"

#include <QTableView>
#include <functional>

namespace ui {

// Data grid bound to a data source: titles, a row indicator in the vertical
// header, resizable columns, the current row of the data set selected.
// Clicking a row moves the data set there; moves of the data set move the
// selection. Read-only unless setEditable(true). Tab and Shift+Tab leave the
// grid. Ctrl+Del asks "Datensatz löschen?" and runs the delete action.
// QAbstractItemView::doubleClicked serves the grid's double-click commands.
class DBGrid : public QTableView {
    Q_OBJECT
public:
    using DeleteAction = std::function<void(db::DataSet&)>;

    explicit DBGrid(db::DataSource* source = nullptr, QWidget* parent = nullptr);
    ~DBGrid() override;

    void setDataSource(db::DataSource* source);
    db::DataSource* dataSource() const;
    db::DataSet* dataSet() const;

    // Columns in this order; hidden ones stay in the model (column numbers
    // count them). An empty list shows every field of the data set.
    void setColumns(const QList<GridColumn>& columns);
    QList<GridColumn> columns() const;
    QString fieldNameAt(int column) const;

    // In-place editing; the typed text goes through Field::setAsString.
    void setEditable(bool editable);
    bool isEditable() const;

    // Ctrl+Del: the action runs after "OK" (default: Table::deleteRecord).
    // A grid with deletion disabled ignores Ctrl+Del.
    void setDeleteAction(DeleteAction action);
    void setDeleteEnabled(bool enabled) { m_deleteEnabled = enabled; }
    bool deleteEnabled() const { return m_deleteEnabled; }

    DataSetModel* dataModel() const { return m_model; }

Q_SIGNALS:
    void titleClicked(int column, const QString& fieldName);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void applyColumns();
    void followDataSet();
    bool moveDataSet(int row); // false when the move was refused (error shown)
    void askDelete();

    DataSetModel* m_model;
    DeleteAction m_deleteAction;
    bool m_deleteEnabled = true;
    bool m_following = false;
};

} // namespace ui
