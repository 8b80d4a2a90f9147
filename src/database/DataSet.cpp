#include "database/DataSet.h"

#include "core/Errors.h"
#include "database/Connection.h"

#include <QMetaMethod>

namespace db {

namespace {
quint64 nextFieldsVersion()
{
    static quint64 version = 0;
    return ++version;
}

DataSet::RecordUpdater& recordUpdater()
{
    static DataSet::RecordUpdater updater;
    return updater;
}
} // namespace

void DataSet::setRecordUpdater(RecordUpdater updater)
{
    recordUpdater() = std::move(updater);
}

void DataSet::updateRecord()
{
    if (recordUpdater() && isEditing())
        recordUpdater()(*this);
}

DataSet::DataSet(Connection& connection, const QString& name, QObject* parent)
    : QObject(parent), m_connection(connection), m_fieldsVersion(nextFieldsVersion())
{
    setObjectName(name);
    m_connection.registerDataSet(this);
}

DataSet::~DataSet()
{
    m_connection.unregisterDataSet(this);
}

DataSet::LocateTest::LocateTest(const Field& field, const QVariant& value, LocateOptions options)
    : m_numeric(field.isNumeric()),
      m_partial(options & LocatePartialKey),
      m_case((options & LocateCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive),
      m_value(value),
      m_wanted(value.toString())
{
}

bool DataSet::LocateTest::operator()(const QVariant& stored) const
{
    if (m_numeric)
        return !stored.isNull() && stored.toDouble() == m_value.toDouble();
    if (m_partial)
        return stored.toString().startsWith(m_wanted, m_case);
    return stored.toString().compare(m_wanted, m_case) == 0;
}

Field* DataSet::findField(const QString& name) const
{
    const auto exact = m_fieldIndex.constFind(name);
    if (exact != m_fieldIndex.constEnd())
        return m_fields[size_t(*exact)].get();
    for (const auto& f : m_fields)
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

Field& DataSet::fieldByName(const QString& name) const
{
    if (Field* f = findField(name))
        return *f;
    checkActive();
    fail(QStringLiteral("Feld '%1' nicht gefunden").arg(name));
}

QStringList DataSet::fieldNames() const
{
    QStringList names;
    for (const auto& f : m_fields)
        names << f->fieldName();
    return names;
}

void DataSet::checkActive() const
{
    if (!active())
        fail(QStringLiteral("Operation bei geschlossener Datenmenge nicht ausführbar"));
}

void DataSet::fail(const QString& text, int code) const
{
    throw EngineError(name(), text, code);
}

void DataSet::clearFields()
{
    m_fields.clear();
    m_fieldIndex.clear();
    m_fieldsVersion = nextFieldsVersion();
    m_buffer = Row();
}

Field& DataSet::addField(const QString& name, FieldType type, int size)
{
    m_fieldIndex.insert(name, int(m_fields.size()));
    m_fields.push_back(std::make_unique<Field>(*this, int(m_fields.size()), name, type, size));
    return *m_fields.back();
}

int DataSet::shownCount() const
{
    if (!active())
        return 0;
    ensureRows();
    return rowCountShown() + (m_state == DataSetState::Insert ? 1 : 0);
}

bool DataSet::isEmpty() const
{
    checkActive();
    return shownCount() == 0;
}

int DataSet::currentRow() const
{
    if (!active())
        return -1;
    ensureRows();
    return m_cur;
}

int DataSet::recNo() const
{
    return currentRow() + 1;
}

QVariant DataSet::currentValue(int fieldIndex) const
{
    // The buffer always holds the current row, also while the order is
    // stale after a post: reading a field must not re-read the row set.
    checkActive();
    if (fieldIndex < 0 || fieldIndex >= m_buffer.size())
        return {};
    return m_buffer.value(fieldIndex);
}

void DataSet::setCurrentValue(int, const QVariant&)
{
    fail(QStringLiteral("Datenmenge ist nicht im Editier- oder Einfügemodus"));
}

QVariant DataSet::valueAt(int row, int fieldIndex) const
{
    if (!active() || fieldIndex < 0 || fieldIndex >= fieldCount())
        return {};
    ensureRows();
    if (row == m_cur && isEditing())
        return m_buffer.value(fieldIndex);
    int stored = row;
    if (m_state == DataSetState::Insert && row > m_insertPos)
        --stored;
    if (stored < 0 || stored >= rowCountShown())
        return {};
    return fetchRow(stored).value(fieldIndex);
}

void DataSet::loadCurrent()
{
    if (m_cur >= 0 && m_cur < rowCountShown())
        m_buffer = fetchRow(m_cur);
    else
        m_buffer = Row(fieldCount());
    if (m_buffer.size() < fieldCount())
        m_buffer.resize(fieldCount());
}

void DataSet::placeAt(int row)
{
    m_cur = row;
    loadCurrent();
    afterMove();
    emitScrolled();
}

void DataSet::first()
{
    checkActive();
    checkBrowseMode();
    ensureRows();
    const int n = rowCountShown();
    m_bof = true;
    m_eof = n == 0;
    placeAt(n ? 0 : -1);
}

void DataSet::last()
{
    checkActive();
    checkBrowseMode();
    ensureRows();
    const int n = rowCountShown();
    m_eof = true;
    m_bof = n == 0;
    placeAt(n - 1);
}

void DataSet::next()
{
    checkActive();
    checkBrowseMode();
    ensureRows();
    if (m_cur + 1 < rowCountShown()) {
        m_bof = false;
        m_eof = false;
        placeAt(m_cur + 1);
    } else {
        m_eof = true;
        emitScrolled(); // the row stays, but eof changed: navigators follow
    }
}

void DataSet::prior()
{
    checkActive();
    checkBrowseMode();
    ensureRows();
    if (m_cur > 0) {
        m_bof = false;
        m_eof = false;
        placeAt(m_cur - 1);
    } else {
        m_bof = true;
        emitScrolled();
    }
}

void DataSet::setRecNo(int recNo)
{
    checkActive();
    checkBrowseMode();
    ensureRows();
    const int n = rowCountShown();
    if (n == 0)
        return;
    const int row = qBound(0, recNo - 1, n - 1);
    m_bof = false;
    m_eof = false;
    placeAt(row);
}

void DataSet::moveToRow(int row)
{
    if (!active() || (row == m_cur && !isEditing()))
        return;
    if (row == m_cur && isEditing())
        return;
    // A pending insert row shifts the rows behind it; keep aiming at what was clicked.
    if (m_state == DataSetState::Insert && row > m_insertPos && !m_modified)
        --row;
    setRecNo(row + 1);
}

void DataSet::opened()
{
    m_modified = false;
    m_cur = rowCountShown() > 0 ? 0 : -1;
    m_bof = true;
    m_eof = m_cur < 0;
    loadCurrent();
    emitStateChanged();
    emitDataSetChanged();
}

void DataSet::closed()
{
    m_state = DataSetState::Inactive;
    m_modified = false;
    m_insertPos = -1;
    m_cur = -1;
    m_eof = m_bof = true;
    clearFields();
    emitStateChanged();
    emitDataSetChanged();
}

void DataSet::setState(DataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    m_modified = false;
    emitStateChanged();
}

void DataSet::disableControls()
{
    ++m_disabled;
}

void DataSet::enableControls()
{
    if (m_disabled > 0 && --m_disabled == 0 && m_pendingNotify) {
        m_pendingNotify = false;
        Q_EMIT dataSetChanged();
        Q_EMIT stateChanged();
    }
}

void DataSet::emitStateChanged()
{
    if (m_disabled)
        m_pendingNotify = true;
    else
        Q_EMIT stateChanged();
}

void DataSet::emitDataSetChanged()
{
    if (m_disabled)
        m_pendingNotify = true;
    else
        Q_EMIT dataSetChanged();
}

void DataSet::emitScrolled()
{
    if (m_disabled)
        m_pendingNotify = true;
    else
        Q_EMIT scrolled();
}

void DataSet::emitFieldChanged(int fieldIndex)
{
    if (m_disabled)
        m_pendingNotify = true;
    else
        Q_EMIT fieldChanged(fieldIndex);
}

void DataSet::emitRowsRead(int first, int last)
{
    if (m_disabled)
        m_pendingNotify = true;
    else
        Q_EMIT rowsRead(first, last);
}

DataSource::DataSource(DataSet* dataSet, const QString& name, QObject* parent)
    : QObject(parent), m_dataSet(dataSet)
{
    setObjectName(name);
}

void DataSource::connectNotify(const QMetaMethod& signal)
{
    if (!m_dataSet)
        return;
    // Once passed on, a signal stays passed on: a control connecting later
    // finds the same order of notifications as the first one.
    if (signal == QMetaMethod::fromSignal(&DataSource::stateChanged) && !m_forwardsState) {
        m_forwardsState = true;
        connect(m_dataSet, &DataSet::stateChanged, this, &DataSource::stateChanged);
    } else if (signal == QMetaMethod::fromSignal(&DataSource::dataSetChanged) && !m_forwardsChanged) {
        m_forwardsChanged = true;
        connect(m_dataSet, &DataSet::dataSetChanged, this, &DataSource::dataSetChanged);
    } else if (signal == QMetaMethod::fromSignal(&DataSource::scrolled) && !m_forwardsScrolled) {
        m_forwardsScrolled = true;
        connect(m_dataSet, &DataSet::scrolled, this, &DataSource::scrolled);
    } else if (signal == QMetaMethod::fromSignal(&DataSource::fieldChanged) && !m_forwardsField) {
        m_forwardsField = true;
        connect(m_dataSet, &DataSet::fieldChanged, this, &DataSource::fieldChanged);
    } else if (signal == QMetaMethod::fromSignal(&DataSource::rowsRead) && !m_forwardsRowsRead) {
        m_forwardsRowsRead = true;
        connect(m_dataSet, &DataSet::rowsRead, this, &DataSource::rowsRead);
    }
}

} // namespace db
