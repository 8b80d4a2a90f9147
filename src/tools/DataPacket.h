#pragma once

#include <QList>
#include <QString>
#include <QStringView>

class QFileDevice;
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

// How a field's plain values are written and read back.
enum class FieldKind {
    Text,    // string: text up to its width
    Memo,    // bin.hex with SUBTYPE="Text": text of any length
    Integer, // i4
    Float,   // r8
    Date,    // date, dateTime: text, or an integer SQLite keeps as one
    Blob,    // bin.hex: bytes as hexadecimal digits
};
FieldKind kindOf(const FieldDescription& field);

// What a stored value is, in SQLite's own words (typeof()).
enum class Storage { Null, Integer, Real, Text, Blob };
QString storageName(Storage storage);
bool storageFromName(QStringView name, Storage* storage);

// A value a plain attribute cannot carry exactly is written as an element of
// its row: <VALUE attrname="FELD" type="text" value="..."/>, with
// base64="..." instead of value for bytes (blobs, text that is no valid
// UTF-8 or holds characters XML cannot). Long values come in several VALUE
// elements of the same field, one after the other, each holding a piece.
inline constexpr char kValueElement[] = "VALUE";
// Plain attributes and pieces hold at most this many bytes of a value.
inline constexpr qsizetype kPieceBytes = 256 * 1024;
// No element of a packet the export writes comes near this; the import
// refuses a longer one before holding it.
inline constexpr qsizetype kElementBytes = 8 * 1024 * 1024;
// SQLite's own limit on one value.
inline constexpr qsizetype kValueBytes = 1000 * 1000 * 1000;

// Characters as a field's width counts them: code points.
qsizetype characterCount(QStringView text);

// Qt's own German text for one of its messages, from Qt's translations
// where they are installed; else the original, in parentheses after a
// German caller's text.
QString qtGerman(const char* context, const QString& text);
// Why a file could not be opened, read or written, in German, with the
// system's words in parentheses.
QString fileErrorText(const QFileDevice& file);

// Whether text can stand in an XML 1.0 document: no control characters
// other than tab, line feed and carriage return, no U+FFFE or U+FFFF.
bool isXmlText(const QString& text, int* badAt = nullptr);
// Whether name can be an attribute name (letters, digits, '_', '-', '.',
// beginning with a letter or '_').
bool isXmlName(const QString& name);

} // namespace tools::packet
