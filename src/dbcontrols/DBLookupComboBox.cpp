#include "dbcontrols/DBLookupComboBox.h"

#include "core/Command.h"
#include "database/Statement.h"
#include "database/Table.h"

#include <QStandardItemModel>

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
    // The items are gathered apart and handed to the box whole: told of
    // fifty thousand series one at a time, the box spends more on the news
    // than on the names.
    QList<QStandardItem*> items;
    const auto add = [&items](const QString& shown, const QString& key) {
        auto* item = new QStandardItem(shown);
        item->setData(key, Qt::UserRole);
        items << item;
    };
    db::DataSet* list = m_listSource ? m_listSource->dataSet() : nullptr;
    const db::Field* shown = list && list->active() ? list->findField(m_listField) : nullptr;
    const db::Field* key = list && list->active() ? list->findField(m_keyField) : nullptr;
    auto* table = qobject_cast<db::Table*>(list);
    if (shown && key && table && table->state() == db::DataSetState::Browse && !table->filtered()) {
        // Stored rows only, and no pinned row outside a filter: one statement
        // over the file shows the same rows, without the row cache.
        table->readShown({shown->fieldName(), key->fieldName()}, [&](const db::Statement& row) {
            add(shown->textOf(row.column(0)), key->textOf(row.column(1)));
        });
    } else if (shown && key) {
        const int n = list->shownCount();
        for (int row = 0; row < n; ++row)
            add(shown->textOf(list->valueAt(row, shown->index())), key->textOf(list->valueAt(row, key->index())));
    }
    auto* model = new QStandardItemModel(this);
    if (!items.isEmpty())
        model->appendColumn(items);
    setModel(model); // the box deletes the model it had
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
