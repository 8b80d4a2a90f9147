#pragma once

#include "dbcontrols/FieldLink.h"

#include <QLineEdit>

namespace ui {

// One-line edit box bound to a field. Shows the current row's value, puts the
// table into edit state on the first keystroke and writes the text when
// editing finishes or the focus leaves (empty text stores null). A refused
// value is reported through ui::showError and the focus stays in the box.
// Pasted text loses its control characters (cleanEnteredText).
class DBEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DBEdit(db::DataSource* source = nullptr, const QString& fieldName = {}, QWidget* parent = nullptr);
    // A box bound to field and named for findChild, as every form builds them.
    static DBEdit* named(const char* objectName, db::DataSource* source, const char* fieldName, QWidget* parent);

    void setDataSource(db::DataSource* source);
    db::DataSource* dataSource() const { return m_link->dataSource(); }
    void setDataField(const QString& fieldName);
    QString dataField() const { return m_link->fieldName(); }
    db::Field* field() const { return m_link->field(); }

    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }

    // Writes typed text into the field; false (error shown, focus kept) when refused.
    bool commit();
    bool hasPendingInput() const { return m_link->hasPendingInput(); }

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showValue();
    void onTextEdited();
    void writeText();

    FieldLink* m_link;
    bool m_readOnly = false;
};

} // namespace ui
