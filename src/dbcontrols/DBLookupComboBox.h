#pragma once

#include "dbcontrols/BoundComboBox.h"
#include "dbcontrols/FieldLink.h"

namespace ui {

// Selection box for a reference field: lists the shown field of every row of
// a list source and stands on the row whose key equals the bound field.
// Picking a row puts the bound table into edit state and writes that row's key.
// The list is read again whenever the list source's rows change.
class DBLookupComboBox : public BoundComboBox {
    Q_OBJECT
public:
    explicit DBLookupComboBox(QWidget* parent = nullptr);
    // A box bound to field of source that lists shown of the rows of list,
    // keyed by key, and named for findChild, as every form builds them.
    static DBLookupComboBox* named(const char* objectName, db::DataSource* source, const QString& field,
                                   db::DataSource* list, const QString& key, const QString& shown, QWidget* parent);

    void setDataSource(db::DataSource* source);
    db::DataSource* dataSource() const { return m_link->dataSource(); }
    void setDataField(const QString& fieldName);
    QString dataField() const { return m_link->fieldName(); }

    // The list: rows of listSource, showing listField, keyed by keyField.
    void setListSource(db::DataSource* listSource);
    db::DataSource* listSource() const { return m_listSource; }
    void setListField(const QString& fieldName);
    QString listField() const { return m_listField; }
    void setKeyField(const QString& fieldName);
    QString keyField() const { return m_keyField; }

    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isReadOnly() const { return m_readOnly; }

    void showPopup() override;

private:
    void listChanged();
    void rebuildList();
    void showValue();
    void onActivated(int index);

    FieldLink* m_link;
    QPointer<db::DataSource> m_listSource;
    QList<QMetaObject::Connection> m_listConnections;
    QString m_listField;
    QString m_keyField;
    bool m_listStale = true;
    bool m_readOnly = false;
};

} // namespace ui
