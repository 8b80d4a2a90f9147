#pragma once

#include "dbcontrols/FieldLink.h"

#include <QPlainTextEdit>

namespace ui {

// Multi-line text area bound to a memo field, with the edit rules of DBEdit.
class DBMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit DBMemo(db::DataSource* source = nullptr, const QString& fieldName = {}, QWidget* parent = nullptr);

    void setDataSource(db::DataSource* source);
    db::DataSource* dataSource() const { return m_link->dataSource(); }
    void setDataField(const QString& fieldName);
    QString dataField() const { return m_link->fieldName(); }

    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }

    bool commit();
    bool hasPendingInput() const { return m_link->hasPendingInput(); }

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Pasted text loses its control characters (cleanEnteredText).
    void insertFromMimeData(const QMimeData* source) override;

private:
    void showValue();
    void onContentsChanged();
    void writeText();

    FieldLink* m_link;
    bool m_readOnly = false;
    bool m_showing = false;
};

} // namespace ui
