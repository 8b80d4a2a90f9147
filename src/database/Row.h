#pragma once

#include <QByteArray>
#include <QVariant>
#include <QVariantList>
#include <memory>
#include <vector>

namespace db {

class Statement;

// The values of one row. A row read from the file keeps them as SQLite
// gives them (numbers, UTF-8 text) and makes a Qt value of one only when it
// is read: a walk or a grid reads two or three fields of a row, not all of
// them, and a Qt value for every field cost more than reading the row.
// Copies share the stored values; writing one makes the row its own.
class Row {
public:
    Row() = default;
    explicit Row(int columns) : m_values(columns) {}
    Row(QVariantList values) : m_values(std::move(values)) {}
    // Columns first .. first + count - 1 of the statement's current row.
    static Row read(const Statement& statement, int first, int count);

    int size() const;
    QVariant value(int column) const; // null past the end
    void setValue(int column, const QVariant& value);
    void resize(int columns);

private:
    // One block holds a row read from the file: the number of values, a
    // cell for each, then the bytes of its texts and blobs.
    struct Cell {
        int type = 0;   // SQLite's fundamental type
        int length = 0; // of text and blob
        union {
            qint64 integer = 0; // or where text and blob begin among the bytes
            double real;
        };
    };
    const Cell* cells() const;
    const char* bytes() const;
    void own();

    std::shared_ptr<const char[]> m_stored; // while no value was written
    QVariantList m_values;
};

} // namespace db
