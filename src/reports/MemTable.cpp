#include "reports/MemTable.h"

#include "core/Errors.h"
#include "database/Field.h"

#include <QDate>
#include <QLocale>
#include <cmath>

namespace rpt {

namespace {
constexpr double kCurrencyScale = 10000.0;

const QLocale& german()
{
    static const QLocale locale(QLocale::German, QLocale::Germany);
    return locale;
}
} // namespace

MemColumn::MemColumn(MemTable& table, const QString& name, ColumnType type, int size)
    : m_table(table), m_name(name), m_type(type), m_size(type == ColumnType::Text ? size : 0)
{
}

QString MemColumn::convertError(const QString& text) const
{
    switch (m_type) {
    case ColumnType::Integer:
        return QStringLiteral("'%1' ist kein gültiger Integerwert für Feld '%2'").arg(text, m_name);
    case ColumnType::Date:
        return QStringLiteral("'%1' ist kein gültiges Datum für Feld '%2'").arg(text, m_name);
    default:
        return QStringLiteral("'%1' ist kein gültiger Währungswert für Feld '%2'").arg(text, m_name);
    }
}

void MemColumn::setAsString(const QString& text)
{
    m_table.checkAppending();
    if (text.isEmpty()) {
        clear();
        return;
    }
    if (m_type == ColumnType::Text) {
        m_pendingText = m_size > 0 && text.size() > m_size ? text.left(m_size) : text;
        return;
    }
    if (m_type == ColumnType::Date && text.size() >= 10 && text[4] == QLatin1Char('-')) {
        // Dates as the database keeps them ("2003-05-12T00:00:00").
        const QDate date = QDate::fromString(QStringView(text).left(10), Qt::ISODate);
        if (date.isValid()) {
            m_pendingNumber = date.toJulianDay();
            return;
        }
    }
    QVariant parsed;
    try {
        switch (m_type) {
        case ColumnType::Integer:
            parsed = db::parseInput(text, db::FieldType::Integer, m_name);
            break;
        case ColumnType::Date:
            parsed = db::parseInput(text, db::FieldType::DateTime, m_name);
            break;
        default:
            parsed = db::parseInput(text, db::FieldType::Float, m_name);
            break;
        }
    } catch (const db::Error&) {
        m_table.fail(convertError(text));
    }
    setValue(parsed);
}

void MemColumn::setValue(const QVariant& value)
{
    m_table.checkAppending();
    if (!value.isValid() || value.isNull()) {
        clear();
        return;
    }
    const int typeId = value.typeId();
    if (typeId == QMetaType::QString) {
        setAsString(value.toString());
        return;
    }
    switch (m_type) {
    case ColumnType::Text:
        setAsString(typeId == QMetaType::Double ? db::formatFloat(value.toDouble()) : value.toString());
        return;
    case ColumnType::Integer: {
        bool ok = false;
        const qlonglong v = value.toLongLong(&ok);
        if (!ok || typeId == QMetaType::Double || v < std::numeric_limits<qint32>::min() ||
            v > std::numeric_limits<qint32>::max())
            m_table.fail(convertError(value.toString()));
        m_pendingNumber = v;
        return;
    }
    case ColumnType::Date: {
        const QDate date = typeId == QMetaType::QDate ? value.toDate() : value.toDateTime().date();
        if (!date.isValid())
            m_table.fail(convertError(value.toString()));
        m_pendingNumber = date.toJulianDay();
        return;
    }
    case ColumnType::Currency: {
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok || !std::isfinite(v) || std::fabs(v) > 9e14)
            m_table.fail(convertError(value.toString()));
        m_pendingNumber = qint64(std::llround(v * kCurrencyScale));
        return;
    }
    }
}

void MemColumn::clear()
{
    m_table.checkAppending();
    m_pendingText = QString();
    m_pendingNumber = kNull;
}

void MemColumn::store()
{
    if (m_type == ColumnType::Text) {
        // Reports repeat a series or publisher on row after row: equal text
        // shares the previous row's string instead of holding a copy.
        if (!m_texts.empty() && !m_pendingText.isNull() && m_texts.back() == m_pendingText)
            m_texts.push_back(m_texts.back());
        else
            m_texts.push_back(m_pendingText);
    } else {
        m_numbers.push_back(m_pendingNumber);
    }
    discard();
}

void MemColumn::discard()
{
    m_pendingText = QString();
    m_pendingNumber = kNull;
}

void MemColumn::reset()
{
    discard();
    std::vector<QString>().swap(m_texts);
    std::vector<qint64>().swap(m_numbers);
}

bool MemColumn::isNull(int row) const
{
    if (m_type == ColumnType::Text)
        return m_texts.at(size_t(row)).isNull();
    return m_numbers.at(size_t(row)) == kNull;
}

QString MemColumn::text(int row) const
{
    if (m_type == ColumnType::Text)
        return m_texts.at(size_t(row));
    const qint64 n = m_numbers.at(size_t(row));
    if (n == kNull)
        return {};
    switch (m_type) {
    case ColumnType::Integer:
        return QString::number(n);
    case ColumnType::Date:
        return QDate::fromJulianDay(n).toString(QStringLiteral("dd.MM.yyyy"));
    default:
        return german().toString(double(n) / kCurrencyScale, 'f', 2);
    }
}

QString MemColumn::displayText(int row) const
{
    if (m_onGetText)
        return m_onGetText(*this, row);
    return text(row);
}

QVariant MemColumn::value(int row) const
{
    if (isNull(row))
        return {};
    switch (m_type) {
    case ColumnType::Text:
        return m_texts.at(size_t(row));
    case ColumnType::Integer:
        return int(m_numbers.at(size_t(row)));
    case ColumnType::Date:
        return QDate::fromJulianDay(m_numbers.at(size_t(row)));
    default:
        return double(m_numbers.at(size_t(row))) / kCurrencyScale;
    }
}

MemTable::MemTable(const QString& name, QObject* parent) : QObject(parent)
{
    setObjectName(name);
}

MemTable::~MemTable() = default;

void MemTable::fail(const QString& text) const
{
    throw db::EngineError(name(), text);
}

void MemTable::checkAppending() const
{
    if (!m_active)
        fail(QStringLiteral("Operation bei geschlossener Datenmenge nicht ausführbar"));
    if (!m_appending)
        fail(QStringLiteral("Datenmenge ist nicht im Editier- oder Einfügemodus"));
}

MemColumn& MemTable::addColumn(const QString& name, ColumnType type, int size)
{
    if (m_active)
        fail(QStringLiteral("Nicht möglich bei geöffneter Datenmenge"));
    if (findField(name))
        fail(QStringLiteral("Feld '%1' ist bereits vorhanden").arg(name));
    m_byName.insert(name, int(m_columns.size()));
    m_columns.push_back(std::make_unique<MemColumn>(*this, name, type, size));
    return *m_columns.back();
}

MemColumn* MemTable::findField(const QString& name) const
{
    const auto exact = m_byName.constFind(name);
    if (exact != m_byName.constEnd())
        return m_columns[size_t(*exact)].get();
    for (const auto& c : m_columns)
        if (c->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return c.get();
    return nullptr;
}

MemColumn& MemTable::fieldByName(const QString& name) const
{
    if (MemColumn* c = findField(name))
        return *c;
    fail(QStringLiteral("Feld '%1' nicht gefunden").arg(name));
}

void MemTable::open()
{
    if (m_active)
        return;
    for (auto& c : m_columns)
        c->reset();
    m_rows = 0;
    m_appending = false;
    m_active = true;
}

void MemTable::close()
{
    for (auto& c : m_columns)
        c->reset();
    m_rows = 0;
    m_appending = false;
    m_active = false;
}

void MemTable::append()
{
    if (!m_active)
        fail(QStringLiteral("Operation bei geschlossener Datenmenge nicht ausführbar"));
    // Like a table, a new row ends the one still pending: set values are kept.
    if (m_appending)
        post();
    for (auto& c : m_columns)
        c->discard();
    m_appending = true;
}

void MemTable::post()
{
    checkAppending();
    for (auto& c : m_columns)
        c->store();
    ++m_rows;
    m_appending = false;
}

void MemTable::cancel()
{
    if (!m_appending)
        return;
    for (auto& c : m_columns)
        c->discard();
    m_appending = false;
}

} // namespace rpt
