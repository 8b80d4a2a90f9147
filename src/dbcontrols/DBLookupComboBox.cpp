#include "dbcontrols/DBLookupComboBox.h"

#include "core/Command.h"

#include <QSignalBlocker>
#include <QTimer>

namespace ui {

DBLookupComboBox::DBLookupComboBox(QWidget* parent) : BoundComboBox(parent), m_link(new FieldLink(this))
{
    setEditable(false);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(10);
    connect(m_link, &FieldLink::changed, this, &DBLookupComboBox::showValue);
    connect(this, &QComboBox::activated, this, &DBLookupComboBox::onActivated);
}

DBLookupComboBox* DBLookupComboBox::named(const char* objectName, db::DataSource* source, const QString& field,
                                          db::DataSource* list, const QString& key, const QString& shown,
                                          QWidget* parent)
{
    auto* box = new DBLookupComboBox(parent);
    box->setObjectName(QLatin1String(objectName));
    box->setDataSource(source);
    box->setDataField(field);
    box->setListSource(list);
    box->setKeyField(key);
    box->setListField(shown);
    return box;
}

void DBLookupComboBox::setDataSource(db::DataSource* source)
{
    m_link->setDataSource(source);
}

void DBLookupComboBox::setDataField(const QString& fieldName)
{
    m_link->setFieldName(fieldName);
}

void DBLookupComboBox::setListSource(db::DataSource* listSource)
{
    for (const auto& c : std::as_const(m_listConnections))
        disconnect(c);
    m_listConnections.clear();
    m_listSource = listSource;
    if (listSource) {
        // Moves in the list table change nothing in the list itself.
        m_listConnections << connect(listSource, &db::DataSource::dataSetChanged, this, &DBLookupComboBox::listChanged)
                          << connect(listSource, &db::DataSource::stateChanged, this, &DBLookupComboBox::listChanged)
                          << connect(listSource, &db::DataSource::fieldChanged, this, &DBLookupComboBox::listChanged)
                          << connect(listSource, &QObject::destroyed, this, &DBLookupComboBox::listChanged);
    }
    listChanged();
}

void DBLookupComboBox::setListField(const QString& fieldName)
{
    m_listField = fieldName;
    listChanged();
}

void DBLookupComboBox::setKeyField(const QString& fieldName)
{
    m_keyField = fieldName;
    listChanged();
}

void DBLookupComboBox::listChanged()
{
    // Several changes in a row (a post is a state change and a row change)
    // read the list once; anything that reads the box reads it at once.
    if (m_listStale)
        return;
    m_listStale = true;
    QTimer::singleShot(0, this, [this] {
        if (m_listStale)
            showValue();
    });
}

void DBLookupComboBox::rebuildList()
{
    m_listStale = false;
    const QSignalBlocker blocker(this);
    clear();
    db::DataSet* list = m_listSource ? m_listSource->dataSet() : nullptr;
    if (!list || !list->active())
        return;
    const db::Field* shown = list->findField(m_listField);
    const db::Field* key = list->findField(m_keyField);
    if (!shown || !key)
        return;
    const int n = list->shownCount();
    for (int row = 0; row < n; ++row) {
        const QVariant keyValue = list->valueAt(row, key->index());
        addItem(shown->textOf(list->valueAt(row, shown->index())), key->textOf(keyValue));
    }
}

void DBLookupComboBox::showValue()
{
    if (m_listStale)
        rebuildList();
    const db::Field* f = m_link->field();
    const int index = f && !f->isNull() ? findData(f->asString()) : -1;
    if (index != currentIndex())
        setCurrentIndex(index);
}

void DBLookupComboBox::showPopup()
{
    if (m_listStale)
        showValue();
    QComboBox::showPopup();
}

void DBLookupComboBox::onActivated(int index)
{
    const QString key = itemData(index).toString();
    const db::Field* f = m_link->field();
    if (!m_readOnly && f && index >= 0 && !(!f->isNull() && f->asString() == key)) {
        runCommand([&] {
            m_link->edit();
            m_link->dataSet()->fieldByName(m_link->fieldName()).setAsString(key);
        });
    }
    showValue();
}

} // namespace ui
