#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "database/RecordKeys.h"
#include "database/Statement.h"

#include <cstddef>
#include <functional>
#include <initializer_list>

struct sqlite3;
struct sqlite3_stmt;

namespace db::schema {

// One column of a table. Text widths count characters; the other types have size 0.
// SQL types: Text "VARCHAR(n)", Integer "INTEGER", Float "DOUBLE", Memo "TEXT",
// DateTime "DATETIME" (ISO-8601 text "YYYY-MM-DDTHH:MM:SS").
struct FieldDef {
    QString name;
    enum class Type { Text, Integer, Float, Memo, DateTime } type;
    int size;
};

// PK... indexes are unique, NK... indexes are not. Text keys compare without
// case; the indexes over names sort their text in the German order.
struct IndexDef {
    QString name;
    QStringList fields;
    bool unique;
    bool names = false;
};

struct TableDef {
    QString name;
    QList<FieldDef> fields;
    QList<IndexDef> indexes;

    const FieldDef* field(const QString& fieldName) const; // nullptr when unknown
};

// Written into the file header, so a Stripothek database can be told from any
// other SQLite file and a future layout change can be recognised.
inline constexpr int kApplicationId = 0x53545250; // "STRP"
inline constexpr int kSchemaVersion = 1;

// The thirteen tables in a fixed order, catalogue first.
const QList<TableDef>& tables();
const TableDef* table(const QString& name); // case-insensitive; nullptr when unknown

QString sqlType(const FieldDef& field);
QString createTableSql(const TableDef& table);
QStringList createIndexSql(const TableDef& table);
QString createIndexSql(const TableDef& table, const IndexDef& index);
const IndexDef* index(const TableDef& table, const QString& indexName); // case-insensitive; nullptr when unknown

// Adds the table's key columns and builds those of its indexes the file
// does not have yet. While a database is being made, a table filled early
// can get its indexes at once (createDatabase then builds only the rest), so
// their sorting need not wait for the other tables' rows.
void createIndexes(sqlite3* db, const TableDef& table);

// One field of an index as the index holds it, and as an ORDER BY must name
// it for SQLite to walk the index: a name's German key column, a text key
// without case, anything else as it is. column is the field as the query
// writes it.
QString orderTerm(const TableDef& table, const IndexDef& index, const QString& field, const QString& column);

// The table that has a field (field names are unique across the tables); nullptr when unknown.
const TableDef* tableOfField(const QString& fieldName);

// The table's names that sort in the German order: the text fields of its
// indexes over names. Each has its key columns (see GermanOrder.h).
QStringList nameFields(const TableDef& table);

// The ALTER TABLE statements that add the key columns of the table's names.
QStringList addKeyColumnsSql(const TableDef& table);

// A file made by an earlier version lacks the key columns of this one, or
// its indexes over names ignore only the case; this adds the columns (no row
// is touched: they are virtual) and rebuilds those indexes in one
// transaction, and then never again. Only Stripothek files are touched.
// Returns whether it changed anything; a file that cannot be written now
// (another program writing, a read-only medium) stays as it is, and its
// names still sort in the German order, only without the index's help.
bool upgradeGermanOrder(sqlite3* db);

// Runs an upgrade of the file's own objects in one write transaction: all of
// it or, when any step fails (another program writes, a file that cannot be
// written), nothing. Returns whether it was made; opening then goes on.
bool upgradeInOneTransaction(sqlite3* db, const std::function<void()>& work);

// workDir + "/database/stripothek.db"
QString databaseFile(const QString& workDir);

// Fills a database while it is being made, inside its one transaction.
using Populate = std::function<void(sqlite3*)>;

// Creates dir/database/stripothek.db with all tables and indexes, a key counter
// with a fresh random prefix and the lookup defaults, then runs populate. Either
// the whole database comes into being or no file is left behind: it is built
// under a temporary name and renamed when complete, so even a killed run
// leaves nothing that blocks the next. Refuses to touch an existing
// database. Throws db::Error.
void createDatabase(const QString& dir, const Populate& populate = {});

// 3 or 4 capital letters and digits, beginning and ending with a letter: since
// the number that follows never starts with a letter, the prefix can always be
// told from the number, and two databases with different prefixes never share a key.
QString randomKeyPrefix();

// The lookup lists the program only reads: author roles, executions, condition
// grades, literature types and kinds. Their keys come from the KEYGEN counter.
void fillLookupDefaults(sqlite3* db);

// A value for RowWriter: null, integer, float or text.
struct Value {
    enum class Kind { Null, Integer, Float, Text } kind = Kind::Null;
    qint64 integer = 0;
    double real = 0;
    QString text;

    Value() = default;
    Value(std::nullptr_t) {}
    Value(int v) : kind(Kind::Integer), integer(v) {}
    Value(qint64 v) : kind(Kind::Integer), integer(v) {}
    Value(double v) : kind(Kind::Float), real(v) {}
    Value(const QString& v) : kind(Kind::Text), text(v) {}
    Value(const char* v) : kind(Kind::Text), text(QString::fromUtf8(v)) {}
};

// Appends rows to one table through one prepared statement, so filling a
// large collection costs one parse for all its rows.
class RowWriter {
public:
    RowWriter(sqlite3* db, const QString& table, const QStringList& fields);
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    // One value per field, in the order given to the constructor.
    void insert(std::initializer_list<Value> values);

private:
    Statement m_statement;
    QString m_table;
    int m_count;
};

// The key counter of bulk filling is the program's one counter.
using KeyCounter = db::KeyCounter;

} // namespace db::schema
