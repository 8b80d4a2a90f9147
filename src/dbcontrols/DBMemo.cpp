#include "dbcontrols/DBMemo.h"

#include "database/Table.h"
#include "dbcontrols/Command.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace ui {

DBMemo::DBMemo(db::DataSource* source, const QString& fieldName, QWidget* parent)
    : QPlainTextEdit(parent), m_link(new FieldLink(this))
{
    m_link->commit = [this] { writeText(); };
    connect(m_link, &FieldLink::changed, this, &DBMemo::showValue);
    connect(this, &QPlainTextEdit::textChanged, this, &DBMemo::onContentsChanged);
    m_link->setFieldName(fieldName);
    m_link->setDataSource(source);
    showValue();
}

void DBMemo::setDataSource(db::DataSource* source)
{
    m_link->setDataSource(source);
}

void DBMemo::setDataField(const QString& fieldName)
{
    m_link->setFieldName(fieldName);
}

void DBMemo::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    showValue();
}

void DBMemo::showValue()
{
    const db::Field* f = m_link->field();
    QPlainTextEdit::setReadOnly(m_readOnly || !f || !m_link->table());
    if (m_link->hasPendingInput()) {
        if (f && m_link->editing())
            return;
        m_link->setPendingInput(false);
    }
    const QString text = f ? f->textOf(f->value()) : QString();
    if (text == toPlainText())
        return;
    m_showing = true;
    setPlainText(text);
    m_showing = false;
}

void DBMemo::onContentsChanged()
{
    if (m_showing || m_link->hasPendingInput())
        return;
    m_link->setPendingInput(true);
    bool editing = false;
    runCommand([&] {
        m_link->edit();
        editing = true;
    });
    if (!editing) {
        m_link->setPendingInput(false);
        showValue();
    }
}

void DBMemo::writeText()
{
    if (!m_link->hasPendingInput())
        return;
    if (!m_link->editing())
        m_link->edit();
    db::Field& f = m_link->dataSet()->fieldByName(m_link->fieldName());
    const QString typed = toPlainText();
    if (typed.isEmpty())
        f.clear();
    else
        f.setAsString(typed);
    m_link->setPendingInput(false);
    showValue();
}

bool DBMemo::commit()
{
    if (!m_link->hasPendingInput())
        return true;
    bool written = false;
    runCommand([&] {
        writeText();
        written = true;
    });
    if (!written)
        setFocus(Qt::OtherFocusReason);
    return written;
}

void DBMemo::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    commit();
}

void DBMemo::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && m_link->hasPendingInput()) {
        m_link->setPendingInput(false);
        showValue();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace ui
