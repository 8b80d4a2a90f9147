#include "dbcontrols/DBMemo.h"

#include "database/Table.h"
#include "core/Command.h"
#include "dbcontrols/EnteredText.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>

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
    if (!m_link->startTyping())
        showValue();
}

void DBMemo::writeText()
{
    if (!m_link->hasPendingInput())
        return;
    m_link->storeText(toPlainText());
    showValue();
}

bool DBMemo::commit()
{
    return m_link->commitPending();
}

void DBMemo::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    commit();
}

void DBMemo::insertFromMimeData(const QMimeData* source)
{
    // Pasting and dropping come this way; the text alone is taken, as a
    // plain text box takes it.
    QMimeData kept;
    kept.setText(cleanEnteredText(source->text(), true));
    QPlainTextEdit::insertFromMimeData(&kept);
}

void DBMemo::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && m_link->hasPendingInput()) {
        m_link->dropPendingInput();
        showValue();
        event->ignore(); // on to the dialog, which one Esc cancels
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace ui
