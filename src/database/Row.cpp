#include "database/Row.h"

#include "database/Statement.h"

#include <cstring>
#include <sqlite3.h>

namespace db {

namespace {
// The block begins with the number of values, as wide as a cell's alignment.
constexpr size_t kHeader = alignof(std::max_align_t);
} // namespace

Row Row::read(const Statement& statement, int first, int count)
{
    sqlite3_stmt* s = statement.raw();
    // The types first: asking for a number's length would make text of it.
    int types[64];
    std::vector<int> moreTypes;
    int* type = count <= 64 ? types : (moreTypes.resize(size_t(count)), moreTypes.data());
    size_t bytes = 0;
    for (int c = 0; c < count; ++c) {
        type[c] = sqlite3_column_type(s, first + c);
        if (type[c] == SQLITE_TEXT || type[c] == SQLITE_BLOB)
            bytes += size_t(sqlite3_column_bytes(s, first + c));
    }
    // One allocation per row: a walk reads many rows and keeps few.
    const size_t cellBytes = sizeof(Cell) * size_t(count);
    std::shared_ptr<char[]> block = std::make_shared<char[]>(kHeader + cellBytes + bytes);
    std::memcpy(block.get(), &count, sizeof count);
    auto* cells = reinterpret_cast<Cell*>(block.get() + kHeader);
    char* text = block.get() + kHeader + cellBytes;
    qint64 at = 0;
    for (int c = 0; c < count; ++c) {
        Cell* cell = new (cells + c) Cell;
        cell->type = type[c];
        const int column = first + c;
        switch (cell->type) {
        case SQLITE_INTEGER:
            cell->integer = sqlite3_column_int64(s, column);
            break;
        case SQLITE_FLOAT:
            cell->real = sqlite3_column_double(s, column);
            break;
        case SQLITE_NULL:
            break;
        default:
            // Text stays UTF-8, as stored: blob access does not convert it.
            const void* value = sqlite3_column_blob(s, column);
            cell->length = sqlite3_column_bytes(s, column);
            cell->integer = at;
            if (cell->length > 0)
                std::memcpy(text + at, value, size_t(cell->length));
            at += cell->length;
        }
    }
    Row row;
    row.m_stored = std::move(block);
    return row;
}

const Row::Cell* Row::cells() const
{
    return reinterpret_cast<const Cell*>(m_stored.get() + kHeader);
}

const char* Row::bytes() const
{
    return m_stored.get() + kHeader + sizeof(Cell) * size_t(size());
}

int Row::size() const
{
    if (!m_stored)
        return int(m_values.size());
    int count = 0;
    std::memcpy(&count, m_stored.get(), sizeof count);
    return count;
}

QVariant Row::value(int column) const
{
    if (!m_stored)
        return m_values.value(column);
    if (column < 0 || column >= size())
        return {};
    const Cell& cell = cells()[column];
    switch (cell.type) {
    case SQLITE_INTEGER:
        return QVariant(cell.integer);
    case SQLITE_FLOAT:
        return QVariant(cell.real);
    case SQLITE_NULL:
        return {};
    case SQLITE_BLOB:
        return QVariant(QByteArray(bytes() + cell.integer, cell.length));
    default:
        return QVariant(QString::fromUtf8(bytes() + cell.integer, cell.length));
    }
}

void Row::own()
{
    if (!m_stored)
        return;
    QVariantList values;
    values.reserve(size());
    for (int c = 0; c < size(); ++c)
        values << value(c);
    m_values = std::move(values);
    m_stored.reset();
}

void Row::setValue(int column, const QVariant& value)
{
    own();
    if (column >= 0 && column < m_values.size())
        m_values[column] = value;
}

void Row::resize(int columns)
{
    own();
    m_values.resize(columns);
}

} // namespace db
