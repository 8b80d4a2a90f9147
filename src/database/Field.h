#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <functional>

namespace db {

class DataSet;

enum class FieldType { Text, Integer, Float, Memo, DateTime, Blob };

// One column of a data set. Reads and writes go to the data set's current row.
class Field {
public:
    // Supplies the text grids and reports show for a value of this field.
    using GetTextHandler = std::function<QString(const Field& sender, const QVariant& value)>;

    Field(DataSet& owner, int index, const QString& name, FieldType type, int size);

    DataSet& dataSet() const { return m_owner; }
    int index() const { return m_index; }
    const QString& fieldName() const { return m_name; }
    FieldType dataType() const { return m_type; }
    int size() const { return m_size; } // characters of a text field, else 0
    bool isBlob() const { return m_type == FieldType::Memo || m_type == FieldType::Blob; }
    bool isNumeric() const { return m_type == FieldType::Integer || m_type == FieldType::Float; }

    // Grid metadata.
    QString displayLabel() const { return m_label.isEmpty() ? m_name : m_label; }
    void setDisplayLabel(const QString& label) { m_label = label; }
    QString displayName() const { return displayLabel(); }
    bool visible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }
    int displayWidth() const;
    void setDisplayWidth(int characters) { m_displayWidth = characters; }
    void setOnGetText(GetTextHandler handler) { m_onGetText = std::move(handler); }
    const GetTextHandler& onGetText() const { return m_onGetText; }

    // The current row.
    QVariant value() const;
    bool isNull() const;
    QString asString() const;      // null reads as ""
    int asInteger() const;         // null reads as 0; floats are rounded
    double asFloat() const;        // null reads as 0
    QDateTime asDateTime() const;  // null reads as an invalid date
    QString displayText() const;   // through the display-text handler

    void setValue(const QVariant& value); // converts to the field's type
    void setAsString(const QString& text); // user input: validated, German number format
    void setAsInteger(int value);
    void setAsFloat(double value);
    void setAsDateTime(const QDateTime& value);
    void clear();

    // Conversions of a stored value, used for any row a grid paints.
    QString textOf(const QVariant& value) const;      // plain text, German number format
    QString displayTextOf(const QVariant& value) const; // through the handler; prices with two decimals
    QVariant normalized(const QVariant& value) const;   // value as stored by this field

private:
    DataSet& m_owner;
    int m_index;
    QString m_name;
    FieldType m_type;
    int m_size;
    QString m_label;
    bool m_visible = true;
    int m_displayWidth = 0;
    GetTextHandler m_onGetText;
};

// The field type for an SQL declared type ("VARCHAR(50)", "INTEGER", "DOUBLE",
// "TEXT", "DATETIME"); size gets a text field's width. Empty declarations
// (expressions in a query) take the type of a sample value.
FieldType fieldTypeFromDecl(const QString& declaredType, int* size, const QVariant& sample = {});

// German text of numbers and dates, shared by fields and input boxes.
QString formatFloat(double value);
QString formatDateTime(const QDateTime& value);
// A stored date as every part of the program reads it: ISO text
// ("2003-05-12T00:00:00"); a number or other text is no date.
QDateTime storedDateTime(const QVariant& value);
// The year of storedDateTime() of a stored text (UTF-8), 0 where that is no
// date. The form the program stores ("2003-05-12T00:00:00") is read without
// building a date, for statistics over every copy.
int storedYear(const char* utf8, int size);
// Parses user input; empty text gives a null value. Throws db::Error with the
// engine's messages ("'x' ist kein gültiger Integerwert für Feld 'y'").
QVariant parseInput(const QString& text, FieldType type, const QString& fieldName);

} // namespace db
