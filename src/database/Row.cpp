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
    // One pass over the columns, each asked once: every call into SQLite
    // takes the connection's mutex, and asking a number for its length would
    // make text of it. Text stays UTF-8, as stored: blob access does not
    // convert it, and the pointer stays valid until the next step.
    constexpr int kOnStack = 64;
    Cell stackCells[kOnStack];
    const void* stackData[kOnStack];
    std::vector<Cell> moreCells;
    std::vector<const void*> moreData;
    Cell* cell = stackCells;
    const void** data = stackData;
    if (count > kOnStack) {
        moreCells.resize(size_t(count));
        moreData.resize(size_t(count));
        cell = moreCells.data();
        data = moreData.data();
    }
    qint64 bytes = 0;
    for (int c = 0; c < count; ++c) {
        const int column = first + c;
        Cell& at = cell[c];
        at.type = sqlite3_column_type(s, column);
        at.length = 0;
        switch (at.type) {
        case SQLITE_INTEGER:
            at.integer = sqlite3_column_int64(s, column);
            break;
        case SQLITE_FLOAT:
            at.real = sqlite3_column_double(s, column);
            break;
        case SQLITE_NULL:
            at.integer = 0;
            break;
        default:
            data[c] = sqlite3_column_blob(s, column);
            at.length = sqlite3_column_bytes(s, column);
            at.integer = bytes;
            bytes += at.length;
        }
    }
    // One allocation per row, left uninitialised: a walk reads many rows and keeps few.
    const size_t cellBytes = sizeof(Cell) * size_t(count);
    const size_t units = (kHeader + cellBytes + size_t(bytes) + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
    std::shared_ptr<std::max_align_t[]> block = std::make_shared_for_overwrite<std::max_align_t[]>(units);
    char* base = reinterpret_cast<char*>(block.get());
    std::memcpy(base, &count, sizeof count);
    std::memcpy(base + kHeader, cell, cellBytes);
    char* text = base + kHeader + cellBytes;
    for (int c = 0; c < count; ++c)
        if (cell[c].length > 0)
            std::memcpy(text + cell[c].integer, data[c], size_t(cell[c].length));
    Row row;
    row.m_stored = std::move(block);
    return row;
}

const Row::Cell* Row::cells() const
{
    return reinterpret_cast<const Cell*>(reinterpret_cast<const char*>(m_stored.get()) + kHeader);
}

const char* Row::bytes() const
{
    return reinterpret_cast<const char*>(m_stored.get()) + kHeader + sizeof(Cell) * size_t(size());
}

int Row::size() const
{
    if (!m_stored)
        return int(m_values.size());
    int count = 0;
    std::memcpy(&count, reinterpret_cast<const char*>(m_stored.get()), sizeof count);
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

std::optional<QByteArrayView> Row::storedText(int column) const
{
    if (!m_stored || column < 0 || column >= size())
        return std::nullopt;
    const Cell& cell = cells()[column];
    if (cell.type != SQLITE_TEXT)
        return std::nullopt;
    return QByteArrayView(bytes() + cell.integer, cell.length);
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

const Row* RowCache::find(qint64 id) const
{
    if (!m_hashed.empty()) {
        const auto it = m_hashed.find(id);
        return it == m_hashed.end() ? nullptr : &it->second;
    }
    for (const auto& [rowId, row] : m_listed)
        if (rowId == id)
            return &row;
    return nullptr;
}

void RowCache::put(qint64 id, Row row)
{
    if (m_hashed.empty()) {
        for (auto& [rowId, kept] : m_listed)
            if (rowId == id) {
                kept = std::move(row);
                return;
            }
        if (m_listed.size() < kListed) {
            m_listed.emplace_back(id, std::move(row));
            return;
        }
        m_hashed.reserve(kListed * 4);
        for (auto& [rowId, kept] : m_listed)
            m_hashed.emplace(rowId, std::move(kept));
        m_listed.clear();
    }
    m_hashed.insert_or_assign(id, std::move(row));
}

void RowCache::erase(qint64 id)
{
    if (!m_hashed.empty()) {
        m_hashed.erase(id);
        return;
    }
    for (auto it = m_listed.begin(); it != m_listed.end(); ++it)
        if (it->first == id) {
            m_listed.erase(it);
            return;
        }
}

void RowCache::clear()
{
    m_listed.clear();
    m_hashed.clear();
}

} // namespace db
