#include "database/Statement.h"

#include "database/Connection.h"
#include "database/SqliteFailureText.h"

#include <QDateTime>
#include <sqlite3.h>

namespace db {

Statement::Statement(sqlite3* handle, const QString& sql, const QString& component)
    : m_db(handle), m_component(component)
{
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
    if (!m_stmt)
        throw EngineError(m_component, QStringLiteral("Die SQL-Anweisung ist leer"), SQLITE_MISUSE);
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& other) noexcept
    : m_db(other.m_db), m_stmt(other.m_stmt), m_component(std::move(other.m_component))
{
    other.m_stmt = nullptr;
}

Statement& Statement::operator=(Statement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_db = other.m_db;
        m_stmt = other.m_stmt;
        m_component = std::move(other.m_component);
        other.m_stmt = nullptr;
    }
    return *this;
}

void Statement::fail(int rc) const
{
    // The extended code says more than rc when SQLite has one (read-only folder, commit refused).
    const int extended = m_db ? sqlite3_extended_errcode(m_db) : rc;
    const int code = (extended & 0xff) == (rc & 0xff) ? extended : rc;
    const char* file = m_db ? sqlite3_db_filename(m_db, "main") : nullptr;
    EngineError error(m_component,
                      sqliteFailureText(code, QString::fromUtf8(sqlite3_errmsg(m_db)),
                                        file ? QString::fromUtf8(file) : QString()),
                      code);
    Connection::noteFailure(m_db, error);
    throw error;
}

void Statement::bind(int index, const QVariant& value)
{
    int rc = SQLITE_OK;
    if (!value.isValid() || value.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(m_stmt, index, value.toDouble());
            break;
        case QMetaType::QDateTime:
        case QMetaType::QDate: {
            const QByteArray text = value.toDateTime().toString(Qt::ISODate).toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        }
    }
    if (rc != SQLITE_OK)
        fail(rc);
}

void Statement::bindUtf8(int index, const QByteArray& utf8)
{
    const int rc = sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_STATIC);
    if (rc != SQLITE_OK)
        fail(rc);
}

void Statement::bindNull(int index)
{
    const int rc = sqlite3_bind_null(m_stmt, index);
    if (rc != SQLITE_OK)
        fail(rc);
}

void Statement::bindValue(int index, const sqlite3_value* value)
{
    const int rc = sqlite3_bind_value(m_stmt, index, value);
    if (rc != SQLITE_OK)
        fail(rc);
}

void Statement::bindInt64(int index, qint64 value)
{
    const int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK)
        fail(rc);
}

void Statement::bindDouble(int index, double value)
{
    const int rc = sqlite3_bind_double(m_stmt, index, value);
    if (rc != SQLITE_OK)
        fail(rc);
}

void Statement::bindText(int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    const int rc = sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        fail(rc);
}

void Statement::bindAll(const QVariantList& values)
{
    for (int i = 0; i < values.size(); ++i)
        bind(i + 1, values[i]);
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    sqlite3_reset(m_stmt);
    fail(rc);
}

bool Statement::stepUnlessInterrupted(bool& interrupted)
{
    const int rc = sqlite3_step(m_stmt);
    interrupted = rc == SQLITE_INTERRUPT;
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE || interrupted)
        return false;
    sqlite3_reset(m_stmt);
    fail(rc);
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

void Statement::exec()
{
    StatementReset reset(*this);
    while (step()) {
    }
}

int Statement::columnCount() const { return sqlite3_column_count(m_stmt); }

QString Statement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QString Statement::columnDeclType(int column) const
{
    const char* type = sqlite3_column_decltype(m_stmt, column);
    return type ? QString::fromUtf8(type) : QString();
}

QVariant Statement::column(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, column));
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(m_stmt, column)),
                                   sqlite3_column_bytes(m_stmt, column)));
    default:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column)),
                                          sqlite3_column_bytes(m_stmt, column)));
    }
}

qint64 Statement::columnInt64(int column) const { return sqlite3_column_int64(m_stmt, column); }

bool Statement::columnIsNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }

} // namespace db
