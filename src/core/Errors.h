#pragma once

#include <QString>
#include <stdexcept>

// The failures every layer throws and the one error display shows. They keep
// the engine's namespace: the engine raised them first and raises most.
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
    bool damaged() const
    {
        const int primary = m_code & 0xff;
        return primary == kCorrupt || primary == kNotADatabase;
    }

    // SQLite's primary codes for those two, spelt out so that the wire format
    // and the error display need no SQLite header; the engine checks them.
    static constexpr int kCorrupt = 11;
    static constexpr int kNotADatabase = 26;

private:
    int m_code;
};

// Ends the current command without any message (the user cancelled, or a
// handler already explained itself).
class Abort : public std::exception {
public:
    const char* what() const noexcept override { return "Abort"; }
};

} // namespace db
