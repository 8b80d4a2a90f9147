#pragma once

#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_value;

namespace db {

// One prepared SQLite statement. Binding takes Qt values; text is always
// bound, never spliced into SQL.
class Statement {
public:
    Statement() = default;
    Statement(sqlite3* handle, const QString& sql, const QString& component = {});
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool isValid() const { return m_stmt != nullptr; }
    void bind(int index, const QVariant& value); // 1-based
    void bindAll(const QVariantList& values);
    // Text already in UTF-8, without a QVariant on the way (bulk loading);
    // utf8 must live until the statement has run.
    void bindUtf8(int index, const QByteArray& utf8);
    void bindNull(int index);
    void bindInt64(int index, qint64 value);
    void bindDouble(int index, double value);
    void bindText(int index, const QString& text);
    // A value as SQLite handed it out, its storage class kept exactly.
    void bindValue(int index, const sqlite3_value* value);
    bool step();   // true while a row is available
    // As step(), but a run stopped by the connection's progress handler ends
    // quietly, with interrupted set, instead of as a failure.
    bool stepUnlessInterrupted(bool& interrupted);
    void reset();  // ready for the next run, bindings cleared
    void exec();   // runs to the end, then resets

    int columnCount() const;
    QString columnName(int column) const;
    QString columnDeclType(int column) const;
    QVariant column(int column) const;
    qint64 columnInt64(int column) const;
    bool columnIsNull(int column) const;

    sqlite3_stmt* raw() const { return m_stmt; }

private:
    [[noreturn]] void fail(int rc) const;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_component;
};

// Resets a statement on every path out of a scope, so that a failing step
// or a throwing reader leaves no kept statement half-run (it would hold the
// read lock and fail the next run with "misuse").
class StatementReset {
public:
    explicit StatementReset(Statement& statement) : m_statement(statement) {}
    ~StatementReset() { m_statement.reset(); }
    StatementReset(const StatementReset&) = delete;
    StatementReset& operator=(const StatementReset&) = delete;

private:
    Statement& m_statement;
};

} // namespace db
