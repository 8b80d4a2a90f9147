#pragma once

#include <QList>
#include <QString>

struct sqlite3;

// The layout of an export file: an XML data packet with the table's field
// descriptions and one ROW element per row, one attribute per non-null field.
namespace tools::packet {

inline constexpr char kRoot[] = "DATAPACKET";
inline constexpr char kVersion[] = "2.0";

// One field description as written to and expected in a file.
struct FieldDescription {
    QString name;
    QString fieldType; // string, i4, r8, date, dateTime, bin.hex
    bool textMemo = false; // bin.hex holding text (SUBTYPE="Text")
    int width = 0;         // characters of a string field
    bool required = false; // a key field

    bool operator==(const FieldDescription&) const = default;
    QString describe() const; // for messages: "SCLTITEL1 (string, 150)"
};

// The descriptions of a table's fields in their order, from the table as the
// file holds it. Throws db::EngineError naming component.
QList<FieldDescription> describeTable(sqlite3* handle, const QString& tableName,
                                      const QString& component);

// The same descriptions from the schema the program creates tables by; for
// a database still being made, before it has its indexes.
QList<FieldDescription> describeSchemaTable(const QString& tableName);

// Whether text can stand in an XML 1.0 document: no control characters
// other than tab, line feed and carriage return, no U+FFFE or U+FFFF.
bool isXmlText(const QString& text, int* badAt = nullptr);
// Whether name can be an attribute name (letters, digits, '_', '-', '.',
// beginning with a letter or '_').
bool isXmlName(const QString& name);

} // namespace tools::packet
