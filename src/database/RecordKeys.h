#pragma once

#include <QString>

#include <optional>

struct sqlite3;

namespace db {

class Connection;
class Statement;
class Table;

// The counter row of the key table: a prefix and the last number handed
// out. Filling a new collection keeps the number in memory and saves it
// once; the program draws each key inside a write transaction (see
// Transaction::drawRecordKey), so two programs on one file never share one.
class KeyCounter {
public:
    // Reads the row rowId of the table, or its first row when there is no
    // such row; an empty table gets a row without prefix and the number 0.
    explicit KeyCounter(sqlite3* db, qint64 rowId = -1, const QString& component = QStringLiteral("KEYGEN"),
                        const QString& table = QStringLiteral("KEYGEN"));
    // The same through the connection's kept statements: drawing many keys
    // one by one (an import) then prepares nothing per key.
    KeyCounter(Connection& connection, qint64 rowId, const QString& component, const QString& table);

    QString next(); // prefix + decimal number; fails past the largest 32-bit number
    QString prefix() const { return m_prefix; }
    qint64 last() const { return m_last; }
    void save();

private:
    void read(qint64 rowId);
    // A kept statement of the connection, or one made now in own.
    Statement& statement(const QString& sql, std::optional<Statement>& own) const;

    sqlite3* m_db;
    Connection* m_connection = nullptr;
    QString m_component;
    QString m_table; // quoted
    qint64 m_rowid = 0;
    QString m_prefix;
    qint64 m_last = 0;
};

// Hands out the next record key from the counter row of the key table:
// prefix followed by the number, the number used up at once. Inside an open
// transaction the key is drawn in it; otherwise in a transaction of its own.
QString drawRecordKey(Table& keyGen);

} // namespace db
