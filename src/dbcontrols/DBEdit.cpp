#include "dbcontrols/DBEdit.h"

#include "database/Table.h"
#include "core/Command.h"
#include "dbcontrols/EnteredText.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace ui {

namespace {
constexpr int unlimitedLength = 32767; // QLineEdit's own default
}

DBEdit::DBEdit(db::DataSource* source, const QString& fieldName, QWidget* parent)
    : QLineEdit(parent), m_link(new FieldLink(this))
{
    m_link->commit = [this] { writeText(); };
    connect(m_link, &FieldLink::changed, this, &DBEdit::showValue);
    connect(this, &QLineEdit::textEdited, this, &DBEdit::onTextEdited);
    m_link->setFieldName(fieldName);
    m_link->setDataSource(source);
    showValue();
}

DBEdit* DBEdit::named(const char* objectName, db::DataSource* source, const char* fieldName, QWidget* parent)
{
    auto* box = new DBEdit(source, QLatin1String(fieldName), parent);
    box->setObjectName(QLatin1String(objectName));
    return box;
}

void DBEdit::setDataSource(db::DataSource* source)
{
    m_link->setDataSource(source);
}

void DBEdit::setDataField(const QString& fieldName)
{
    m_link->setFieldName(fieldName);
}

void DBEdit::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    showValue();
}

void DBEdit::showValue()
{
    const db::Field* f = m_link->field();
    QLineEdit::setReadOnly(m_readOnly || !f || !m_link->table());
    // What the user is typing stays until the row is written or dropped.
    if (m_link->hasPendingInput()) {
        if (f && m_link->editing())
            return;
        m_link->setPendingInput(false);
    }
    const int maxLength = f && f->dataType() == db::FieldType::Text && f->size() > 0 ? f->size() : unlimitedLength;
    if (maxLength != QLineEdit::maxLength())
        setMaxLength(maxLength);
    const QString text = f ? f->displayTextOf(f->value()) : QString();
    if (text != this->text())
        setText(text);
}

void DBEdit::onTextEdited()
{
    const QString typed = text();
    const QString kept = cleanEnteredText(typed, false);
    if (kept != typed) {
        const int cursor = int(cleanEnteredText(typed.left(cursorPosition()), false).size());
        setText(kept);
        setCursorPosition(cursor);
    }
    if (m_link->hasPendingInput())
        return;
    if (!m_link->startTyping())
        showValue();
}

void DBEdit::writeText()
{
    if (!m_link->hasPendingInput())
        return;
    m_link->storeText(text());
    showValue(); // the stored form: "3,50" for "3.5"
}

bool DBEdit::commit()
{
    return m_link->commitPending();
}

void DBEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // Another window taking over (the error box itself, a menu) is no leaving.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    commit();
}

void DBEdit::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        commit();
        break;
    case Qt::Key_Escape:
        // The typed text goes, and the key travels on: in a dialog one Esc
        // cancels it, as the "Abbruch" button does.
        if (m_link->hasPendingInput()) {
            m_link->dropPendingInput();
            showValue();
            event->ignore();
            return;
        }
        break;
    default:
        break;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace ui
