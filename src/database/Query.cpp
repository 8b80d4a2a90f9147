#include "database/Query.h"

#include "core/Errors.h"
#include "database/Connection.h"
#include "database/Statement.h"

#include <sqlite3.h>

namespace db {


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
        const FieldType type = fieldTypeFromDecl(statement.columnDeclType(c), &size,
                                                 rows.empty() ? QVariant() : rows.front().value(c));
        addField(statement.columnName(c), type, size);
    }
    m_rows = std::move(rows);
    m_state = DataSetState::Browse;
    opened();
}

void Query::close()
{
    if (!active())
        return;
    m_rows.clear();
    closed();
}

void Query::execSql()
{
    m_connection.endRead();
    Statement statement(m_connection.handle(), m_sql, name());
    statement.bindAll(m_params);
    statement.exec();
    m_rowsAffected = sqlite3_changes(m_connection.handle());
}

Row Query::fetchRow(int row) const
{
    if (row < 0 || row >= int(m_rows.size()))
        return Row(fieldCount());
    return m_rows[size_t(row)];
}

bool Query::locate(const QString& fieldName, const QVariant& value, LocateOptions options)
{
    checkActive();
    const Field& f = fieldByName(fieldName);
    const int index = f.index();
    const LocateTest matches(f, value, options);
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if (matches(m_rows[row].at(index))) {
            m_eof = m_bof = false;
            placeAt(int(row));
            return true;
        }
    }
    return false;
}

} // namespace db
