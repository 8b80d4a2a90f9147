#pragma once

#include "database/DataSet.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>

namespace ui {

// One column of a data grid. Empty title and zero width take the field's
// display label and display width.
struct GridColumn {
    QString fieldName;
    QString title;
    int width = 0; // in characters
    bool visible = true;
};

// Table model over a data set. Rows are read on demand through
// DataSet::valueAt, so a reset costs nothing however many rows the data set
// shows. Cells show the field's display text (its display-text handler).
class DataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DataSetModel(QObject* parent = nullptr);

    void setDataSource(db::DataSource* source);
    db::DataSource* dataSource() const { return m_source; }
    db::DataSet* dataSet() const;

    // No columns given: every field of the data set, with its label, width
    // and visibility, taken afresh each time the data set changes.
    void setColumns(const QList<GridColumn>& columns);
    bool hasOwnColumns() const { return !m_ownColumns.isEmpty(); }
    // The columns in effect (given or derived), one per model column.
    const QList<GridColumn>& columns() const { return m_columns; }
    QString fieldNameAt(int column) const;
    int fieldIndexAt(int column) const; // -1 for an unknown field

    void setEditable(bool editable) { m_editable = editable; }
    bool editable() const { return m_editable; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

Q_SIGNALS:
    // The columns in effect changed (other fields, titles, widths or visibility).
    void columnsChanged();
    // The current row of the data set changed, or its state (the row marker follows both).
    void currentRowChanged(int row);

private:
    void reset();
    void onScrolled();
    void onStateChanged();
    void onFieldChanged(int fieldIndex);
    void onRowsRead(int first, int last);
    QList<GridColumn> effectiveColumns() const;

    QPointer<db::DataSource> m_source;
    QList<QMetaObject::Connection> m_connections;
    QList<GridColumn> m_ownColumns;
    QList<GridColumn> m_columns;
    QList<int> m_fieldIndexes;
    int m_rows = 0;
    int m_markedRow = -1;
    bool m_editable = false;
};

} // namespace ui
