#include "dbcontrols/DBCheckBox.h"

#include "core/Command.h"

namespace ui {

DBCheckBox::DBCheckBox(db::DataSource* source, const QString& fieldName, QWidget* parent)
    : DBCheckBox(QString(), source, fieldName, parent)
{
}

DBCheckBox::DBCheckBox(const QString& text, db::DataSource* source, const QString& fieldName, QWidget* parent)
    : QCheckBox(text, parent), m_link(new FieldLink(this))
{
    connect(m_link, &FieldLink::changed, this, &DBCheckBox::showValue);
    m_link->setFieldName(fieldName);
    m_link->setDataSource(source);
    showValue();
}

void DBCheckBox::setDataSource(db::DataSource* source)
{
    m_link->setDataSource(source);
}

void DBCheckBox::setDataField(const QString& fieldName)
{
    m_link->setFieldName(fieldName);
}

void DBCheckBox::showValue()
{
    const db::Field* f = m_link->field();
    setChecked(f && f->asString().compare(m_checkedValue, Qt::CaseInsensitive) == 0);
}

void DBCheckBox::nextCheckState()
{
    // The box shows the field; a click only asks the field to change.
    if (m_readOnly || !m_link->active())
        return;
    const QString value = isChecked() ? m_uncheckedValue : m_checkedValue;
    runCommand([&] {
        m_link->edit();
        m_link->dataSet()->fieldByName(m_link->fieldName()).setAsString(value);
    });
    showValue();
}

} // namespace ui
