#pragma once

#include <QByteArray>
#include <QVariant>
#include <QVariantList>
#include <QByteArrayView>
#include <cstddef>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
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
    // The UTF-8 of a text value as read from the file, without making a Qt
    // string of it; none when the value is not text or the row was written to.
    // Valid while the row (or a copy of it) lives.
    std::optional<QByteArrayView> storedText(int column) const;
    void setValue(int column, const QVariant& value);
    void resize(int columns);

private:
    // One block holds a row read from the file: the number of values, a
    // cell for each, then the bytes of its texts and blobs.
    // Plain data, set whole by read(): a row's cells are gathered on the
    // stack before the block is sized, and zeroing them first costs as much.
    struct Cell {
        int type;   // SQLite's fundamental type
        int length; // of text and blob
        union {
            qint64 integer; // or where text and blob begin among the bytes
            double real;
        };
    };
    const Cell* cells() const;
    const char* bytes() const;
    void own();

    // Whole units of the strictest alignment, so cells may begin after the count.
    std::shared_ptr<const std::max_align_t[]> m_stored; // while no value was written
    QVariantList m_values;
};

// Rows read from the file, by row id. A detail table replaces its few rows
// on every move of the catalogue: for them a short list searched in order
// costs less than a hash node per row, so the hash is taken only once more
// rows are kept.
class RowCache {
public:
    const Row* find(qint64 id) const;
    void put(qint64 id, Row row);
    void erase(qint64 id);
    void clear();
    size_t size() const { return m_listed.size() + m_hashed.size(); }

private:
    static constexpr size_t kListed = 16;
    std::vector<std::pair<qint64, Row>> m_listed;
    std::unordered_map<qint64, Row> m_hashed;
};

} // namespace db
