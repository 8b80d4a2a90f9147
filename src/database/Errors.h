#pragma once

#include <QString>
#include <stdexcept>

namespace db {

// Every failure of the program travels as an exception whose what() is UTF-8
// text meant for the user; the central error display shows it unchanged.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// Raised by the table engine: "<component>: <engine text>", with the engine's code.
class EngineError : public Error {
public:
    EngineError(const QString& component, const QString& text, int code = 0)
        : Error(component.isEmpty() ? text : component + QStringLiteral(": ") + text), m_code(code) {}
    int code() const { return m_code; }
    // The file itself is damaged (SQLite found a malformed page or no
    // database at all): nothing read from it can be trusted any more.
    bool damaged() const;

private:
    int m_code;
};

// The user's words for a failure that SQLite reports with result code rc on
// the given database file: what went wrong and what to do about it, for the
// codes a user can meet (file in use, read-only, missing rights, damaged,
// I/O error, disk full). Other codes keep SQLite's own text.
QString sqliteFailureText(int rc, const QString& sqliteText, const QString& file);

// Ends the current command without any message (the user cancelled, or a
// handler already explained itself).
class Abort : public std::exception {
public:
    const char* what() const noexcept override { return "Abort"; }
};

} // namespace db
