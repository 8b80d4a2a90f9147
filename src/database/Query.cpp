#include "database/Query.h"

#include "database/Connection.h"
#include "database/Errors.h"
#include "database/Statement.h"

#include <sqlite3.h>

namespace db {

namespace {
FieldType typeOf(const QString& decl, const QVariant& sample, int* size)
{
    *size = 0;
    const QString upper = decl.toUpper();
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
            *size = upper.mid(open + 1, close - open - 1).toInt();
        return FieldType::Text;
    }
    if (upper.contains(QLatin1String("INT")))
        return FieldType::Integer;
    if (upper.contains(QLatin1String("DOUB")) || upper.contains(QLatin1String("REAL")) ||
        upper.contains(QLatin1String("FLOA")))
        return FieldType::Float;
    if (upper.contains(QLatin1String("DATE")) || upper.contains(QLatin1String("TIME")))
        return FieldType::DateTime;
    if (upper.contains(QLatin1String("BLOB")))
        return FieldType::Blob;
    return FieldType::Memo;
}
} // namespace

Query::Query(Connection& connection, const QString& name, QObject* parent) : DataSet(connection, name, parent) {}

void Query::open()
{
    if (active())
        return;
    Statement statement(m_connection.handle(), m_sql, name());
    statement.bindAll(m_params);
    if (statement.columnCount() == 0)
        fail(QStringLiteral("Die Anweisung liefert keine Datensätze"));
    std::vector<QVariantList> rows;
    while (statement.step()) {
        QVariantList values;
        values.reserve(statement.columnCount());
        for (int c = 0; c < statement.columnCount(); ++c)
            values << statement.column(c);
        rows.push_back(std::move(values));
    }
    clearFields();
    for (int c = 0; c < statement.columnCount(); ++c) {
        int size = 0;
        const FieldType type =
            typeOf(statement.columnDeclType(c), rows.empty() ? QVariant() : rows.front().value(c), &size);
        addField(statement.columnName(c), type, size);
    }
    m_rows = std::move(rows);
    m_state = DataSetState::Browse;
    m_cur = m_rows.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_rows.empty();
    loadCurrent();
    emitStateChanged();
    emitDataSetChanged();
}

void Query::close()
{
    if (!active())
        return;
    m_state = DataSetState::Inactive;
    m_rows.clear();
    clearFields();
    m_cur = -1;
    m_eof = m_bof = true;
    emitStateChanged();
    emitDataSetChanged();
}

void Query::execSql()
{
    m_connection.endRead();
    Statement statement(m_connection.handle(), m_sql, name());
    statement.bindAll(m_params);
    statement.exec();
    m_rowsAffected = sqlite3_changes(m_connection.handle());
}

QVariantList Query::fetchRow(int row) const
{
    if (row < 0 || row >= int(m_rows.size()))
        return QVariantList(fieldCount());
    return m_rows[size_t(row)];
}

bool Query::locate(const QString& fieldName, const QVariant& value, LocateOptions options)
{
    checkActive();
    const Field& f = fieldByName(fieldName);
    const int index = f.index();
    const QString wanted = value.toString();
    const Qt::CaseSensitivity cs = (options & LocateCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    for (size_t row = 0; row < m_rows.size(); ++row) {
        const QVariant& v = m_rows[row].at(index);
        bool match = false;
        if (f.isNumeric())
            match = !v.isNull() && v.toDouble() == value.toDouble();
        else if (options & LocatePartialKey)
            match = v.toString().startsWith(wanted, cs);
        else
            match = v.toString().compare(wanted, cs) == 0;
        if (match) {
            m_eof = m_bof = false;
            placeAt(int(row));
            return true;
        }
    }
    return false;
}

} // namespace db
