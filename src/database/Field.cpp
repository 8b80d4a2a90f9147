#include "database/Field.h"

#include "core/Errors.h"
#include "database/DataSet.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace db {

namespace {
const QLocale& german()
{
    static const QLocale locale(QLocale::German, QLocale::Germany);
    return locale;
}

} // namespace

QDateTime storedDateTime(const QVariant& value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime();
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().startOfDay();
    return QDateTime::fromString(value.toString(), Qt::ISODate);
}

FieldType fieldTypeFromDecl(const QString& declaredType, int* size, const QVariant& sample)
{
    const QString upper = declaredType.toUpper();
    *size = 0;
    if (upper.isEmpty()) {
        switch (sample.typeId()) {
        case QMetaType::LongLong:
            return FieldType::Integer;
        case QMetaType::Double:
            return FieldType::Float;
        case QMetaType::QByteArray:
            return FieldType::Blob;
        default:
            *size = 255;
            return FieldType::Text;
        }
    }
    if (upper.contains(QLatin1String("CHAR"))) {
        const int open = int(upper.indexOf(QLatin1Char('(')));
        const int close = int(upper.indexOf(QLatin1Char(')')));
        if (open > 0 && close > open)
            *size = upper.mid(open + 1, close - open - 1).trimmed().toInt();
        return FieldType::Text;
    }
    if (upper.contains(QLatin1String("INT")))
        return FieldType::Integer;
    if (upper.contains(QLatin1String("DOUB")) || upper.contains(QLatin1String("REAL")) ||
        upper.contains(QLatin1String("FLOA")) || upper.contains(QLatin1String("NUMERIC")))
        return FieldType::Float;
    if (upper.contains(QLatin1String("DATE")) || upper.contains(QLatin1String("TIME")))
        return FieldType::DateTime;
    if (upper.contains(QLatin1String("BLOB")))
        return FieldType::Blob;
    return FieldType::Memo;
}

int storedYear(const char* utf8, int size)
{
    // "yyyy-MM-ddThh:mm:ss" with every part in range is a date to the ISO
    // reading too, in that very year; anything else takes the whole reading.
    const auto digits = [&](int from, int count) {
        int value = 0;
        for (int i = from; i < from + count; ++i) {
            if (utf8[i] < '0' || utf8[i] > '9')
                return -1;
            value = value * 10 + (utf8[i] - '0');
        }
        return value;
    };
    if (size == 19 && utf8[4] == '-' && utf8[7] == '-' && utf8[10] == 'T' && utf8[13] == ':' && utf8[16] == ':') {
        const int year = digits(0, 4);
        const int month = digits(5, 2);
        const int day = digits(8, 2);
        const int hour = digits(11, 2);
        const int minute = digits(14, 2);
        const int second = digits(17, 2);
        if (year > 0 && QDate::isValid(year, month, day) && hour >= 0 && hour < 24 && minute >= 0 && minute < 60 &&
            second >= 0 && second < 60)
            return year;
    }
    const QDateTime date = storedDateTime(QString::fromUtf8(utf8, size));
    return date.isValid() ? date.date().year() : 0;
}

QString formatFloat(double value)
{
    // As typed: "3,5", "12", no noise digits.
    return german().toString(value, 'g', 15);
}

QString formatDateTime(const QDateTime& value)
{
    if (!value.isValid())
        return {};
    if (value.time() == QTime(0, 0))
        return value.toString(QStringLiteral("dd.MM.yyyy"));
    return value.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
}

QVariant parseInput(const QString& raw, FieldType type, const QString& fieldName)
{
    const QString text = raw.trimmed();
    switch (type) {
    case FieldType::Integer: {
        if (text.isEmpty())
            return {};
        bool ok = false;
        const int v = text.toInt(&ok);
        if (!ok)
            throw Error(QStringLiteral("'%1' ist kein gültiger Integerwert für Feld '%2'").arg(raw, fieldName));
        return v;
    }
    case FieldType::Float: {
        if (text.isEmpty())
            return {};
        bool ok = false;
        double v = german().toDouble(text, &ok);
        if (!ok)
            v = QLocale::c().toDouble(text, &ok);
        if (!ok || !std::isfinite(v))
            throw Error(QStringLiteral("'%1' ist kein gültiger Fließkommawert für Feld '%2'").arg(raw, fieldName));
        return v;
    }
    case FieldType::DateTime: {
        if (text.isEmpty())
            return {};
        for (const QString& format : {QStringLiteral("d.M.yyyy"), QStringLiteral("d.M.yy"),
                                      QStringLiteral("d.M.yyyy h:m:s"), QStringLiteral("d.M.yyyy h:m")}) {
            QDateTime dt = QDateTime::fromString(text, format);
            if (dt.isValid()) {
                if (format == QStringLiteral("d.M.yy") && dt.date().year() < 1950)
                    dt = dt.addYears(100);
                return dt;
            }
        }
        const QDateTime iso = QDateTime::fromString(text, Qt::ISODate);
        if (iso.isValid())
            return iso;
        throw Error(QStringLiteral("'%1' ist kein gültiges Datum").arg(raw));
    }
    default:
        return raw;
    }
}

Field::Field(DataSet& owner, int index, const QString& name, FieldType type, int size)
    : m_owner(owner), m_index(index), m_name(name), m_type(type), m_size(size)
{
}

int Field::displayWidth() const
{
    if (m_displayWidth > 0)
        return m_displayWidth;
    switch (m_type) {
    case FieldType::Text:
        return qBound(4, m_size, 40);
    case FieldType::Integer:
        return 10;
    case FieldType::Float:
        return 12;
    case FieldType::DateTime:
        return 18;
    default:
        return 20;
    }
}

QVariant Field::value() const { return m_owner.currentValue(m_index); }

bool Field::isNull() const { return value().isNull(); }

QString Field::asString() const
{
    // Text as read from the file becomes a Qt string straight from its
    // UTF-8, without a QVariant between: lists and walks read it per row.
    if (m_type == FieldType::Text || m_type == FieldType::Memo)
        if (const std::optional<QByteArrayView> stored = m_owner.currentStoredText(m_index))
            return QString::fromUtf8(*stored);
    return textOf(value());
}

int Field::asInteger() const
{
    const QVariant v = value();
    if (v.isNull())
        return 0;
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok) {
        const int i = parseInput(v.toString(), FieldType::Integer, displayName()).toInt();
        return i;
    }
    return int(std::llround(d));
}

double Field::asFloat() const
{
    const QVariant v = value();
    if (v.isNull())
        return 0;
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? d : parseInput(v.toString(), FieldType::Float, displayName()).toDouble();
}

QDateTime Field::asDateTime() const
{
    const QVariant v = value();
    return v.isNull() ? QDateTime() : storedDateTime(v);
}

QString Field::displayText() const { return displayTextOf(value()); }

QString Field::textOf(const QVariant& v) const
{
    if (v.isNull())
        return {};
    switch (m_type) {
    case FieldType::Float:
        return formatFloat(v.toDouble());
    case FieldType::DateTime:
        return formatDateTime(storedDateTime(v));
    case FieldType::Integer:
        return QString::number(v.toLongLong());
    default:
        return v.toString();
    }
}

QString Field::displayTextOf(const QVariant& v) const
{
    if (m_onGetText)
        return m_onGetText(*this, v);
    // The float fields shown in lists are prices: two decimals line a column up.
    if (m_type == FieldType::Float && !v.isNull())
        return german().toString(v.toDouble(), 'f', 2);
    return textOf(v);
}

QVariant Field::normalized(const QVariant& v) const
{
    if (!v.isValid() || v.isNull())
        return {};
    switch (m_type) {
    case FieldType::Text: {
        QString text = v.typeId() == QMetaType::Double ? textOf(v) : v.toString();
        if (m_size > 0 && text.size() > m_size)
            text.truncate(m_size);
        return text;
    }
    case FieldType::Integer: {
        if (v.typeId() == QMetaType::QString)
            return parseInput(v.toString(), m_type, displayName());
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok)
            throw Error(QStringLiteral("'%1' ist kein gültiger Integerwert für Feld '%2'").arg(v.toString(), displayName()));
        if (d > std::numeric_limits<int>::max() || d < std::numeric_limits<int>::min())
            throw Error(QStringLiteral("'%1' ist kein gültiger Integerwert für Feld '%2'").arg(v.toString(), displayName()));
        return int(std::llround(d));
    }
    case FieldType::Float: {
        if (v.typeId() == QMetaType::QString)
            return parseInput(v.toString(), m_type, displayName());
        return v.toDouble();
    }
    case FieldType::DateTime: {
        const QDateTime dt = v.typeId() == QMetaType::QString
                                 ? parseInput(v.toString(), m_type, displayName()).toDateTime()
                                 : storedDateTime(v);
        return dt.isValid() ? QVariant(dt.toString(Qt::ISODate)) : QVariant();
    }
    default:
        return v.toString();
    }
}

void Field::setValue(const QVariant& v) { m_owner.setCurrentValue(m_index, normalized(v)); }

void Field::setAsString(const QString& text)
{
    if (m_type == FieldType::Text || m_type == FieldType::Memo)
        setValue(text);
    else
        setValue(parseInput(text, m_type, displayName()));
}

void Field::setAsInteger(int v) { setValue(v); }
void Field::setAsFloat(double v) { setValue(v); }
void Field::setAsDateTime(const QDateTime& v) { setValue(v); }
void Field::clear() { m_owner.setCurrentValue(m_index, QVariant()); }

} // namespace db
