#pragma once

#include "dbcontrols/FieldLink.h"

#include <QCheckBox>

namespace ui {

// Check box bound to a field: checked shows and stores the checked value
// ("1"), unchecked the unchecked value ("0"); any other value shows unchecked.
// A toggle by the user puts the table into edit state and writes at once.
class DBCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit DBCheckBox(db::DataSource* source = nullptr, const QString& fieldName = {}, QWidget* parent = nullptr);
    DBCheckBox(const QString& text, db::DataSource* source, const QString& fieldName, QWidget* parent = nullptr);

    void setDataSource(db::DataSource* source);
    db::DataSource* dataSource() const { return m_link->dataSource(); }
    void setDataField(const QString& fieldName);
    QString dataField() const { return m_link->fieldName(); }

    void setValueChecked(const QString& value) { m_checkedValue = value; showValue(); }
    void setValueUnchecked(const QString& value) { m_uncheckedValue = value; showValue(); }
    QString valueChecked() const { return m_checkedValue; }
    QString valueUnchecked() const { return m_uncheckedValue; }

    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isReadOnly() const { return m_readOnly; }

protected:
    void nextCheckState() override;

private:
    void showValue();

    FieldLink* m_link;
    QString m_checkedValue = QStringLiteral("1");
    QString m_uncheckedValue = QStringLiteral("0");
    bool m_readOnly = false;
};

} // namespace ui
