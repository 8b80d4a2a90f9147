#include "dbcontrols/FieldLink.h"

#include "core/Errors.h"
#include "database/Table.h"
#include "core/Command.h"

#include <QWidget>

namespace ui {

namespace {
// Every live link, so that updateRecord finds the controls of a data set
// without the data set knowing about them.
QList<FieldLink*>& links()
{
    static QList<FieldLink*> all;
    return all;
}
} // namespace

FieldLink::FieldLink(QWidget* control) : QObject(control), m_control(control)
{
    // From the first bound control on, every post and move of a data set
    // first writes what its controls hold.
    static const bool installed = [] {
        db::DataSet::setRecordUpdater([](db::DataSet& dataSet) { updateRecord(&dataSet); });
        return true;
    }();
    Q_UNUSED(installed);
    links().append(this);
}

FieldLink::~FieldLink()
{
    links().removeOne(this);
}

void FieldLink::setDataSource(db::DataSource* source)
{
    if (source == m_source && !m_connections.isEmpty())
        return;
    for (const auto& c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_source = source;
    m_pending = false;
    if (source) {
        m_connections << connect(source, &db::DataSource::scrolled, this, &FieldLink::changed)
                      << connect(source, &db::DataSource::dataSetChanged, this, &FieldLink::changed)
                      << connect(source, &db::DataSource::stateChanged, this, &FieldLink::changed)
                      << connect(source, &db::DataSource::fieldChanged, this, &FieldLink::onFieldChanged)
                      << connect(source, &QObject::destroyed, this, &FieldLink::changed);
    }
    Q_EMIT changed();
}

void FieldLink::setFieldName(const QString& name)
{
    m_fieldName = name;
    m_pending = false;
    Q_EMIT changed();
}

db::DataSet* FieldLink::dataSet() const
{
    return m_source ? m_source->dataSet() : nullptr;
}

db::Table* FieldLink::table() const
{
    return qobject_cast<db::Table*>(dataSet());
}

db::Field* FieldLink::field() const
{
    db::DataSet* ds = dataSet();
    if (!ds || !ds->active() || m_fieldName.isEmpty())
        return nullptr;
    return ds->findField(m_fieldName);
}

bool FieldLink::active() const
{
    return field() != nullptr;
}

bool FieldLink::editing() const
{
    db::DataSet* ds = dataSet();
    return ds && ds->isEditing();
}

void FieldLink::edit()
{
    db::DataSet* ds = dataSet();
    if (!ds)
        throw db::Error(QStringLiteral("Keine Datenmenge zugeordnet"));
    ds->checkActive();
    ds->fieldByName(m_fieldName);
    db::Table* t = table();
    if (!t)
        throw db::EngineError(ds->name(), QStringLiteral("Mit einer schreibgeschützten Datenmenge nicht möglich"));
    t->edit();
}

bool FieldLink::startTyping()
{
    m_pending = true;
    bool editing = false;
    runCommand([&] {
        edit();
        editing = true;
    });
    if (!editing)
        m_pending = false;
    return editing;
}

void FieldLink::storeText(const QString& typed)
{
    if (!editing())
        edit();
    db::Field& f = dataSet()->fieldByName(m_fieldName);
    if (typed.isEmpty())
        f.clear();
    else
        f.setAsString(typed);
    m_pending = false;
}

bool FieldLink::commitPending()
{
    if (!m_pending || !commit)
        return true;
    bool written = false;
    runCommand([&] {
        commit();
        written = true;
    });
    if (!written)
        m_control->setFocus(Qt::OtherFocusReason);
    return written;
}

void FieldLink::dropPendingInput()
{
    m_pending = false;
    db::Table* t = table();
    if (!t || t->state() != db::DataSetState::Edit || t->modified())
        return;
    for (const FieldLink* other : std::as_const(links()))
        if (other != this && other->hasPendingInput() && other->dataSet() == t)
            return;
    // A new row stays: its dialog or page decides what becomes of it.
    runCommand([t] { t->cancel(); });
}

void FieldLink::onFieldChanged(int fieldIndex)
{
    const db::Field* f = field();
    if (f && f->index() == fieldIndex)
        Q_EMIT changed();
}

void updateRecord(db::DataSet* dataSet)
{
    if (!dataSet)
        return;
    const QList<FieldLink*> all = links(); // a commit may create or destroy controls
    for (FieldLink* link : all) {
        if (!links().contains(link) || link->dataSet() != dataSet || !link->hasPendingInput() || !link->commit)
            continue;
        try {
            link->commit();
        } catch (...) {
            link->control()->setFocus(Qt::OtherFocusReason);
            throw;
        }
    }
}

void storeEditedRow(db::Table& table)
{
    updateRecord(&table);
    table.checkBrowseMode();
}

} // namespace ui
