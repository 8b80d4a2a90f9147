#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QVariant>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace rpt {

enum class ColumnType {
    Text,     // at most size() characters
    Integer,  // 32-bit signed
    Date,
    Currency, // four decimal places, as money is kept
};

class MemTable;

// One typed column of an in-memory table. Values are set on the row being
// appended and read back by row number.
class MemColumn {
public:
    // Supplies the text that reports print for a row of this column.
    using GetTextHandler = std::function<QString(const MemColumn& sender, int row)>;

    MemColumn(MemTable& table, const QString& name, ColumnType type, int size);

    MemTable& table() const { return m_table; }
    const QString& fieldName() const { return m_name; }
    ColumnType dataType() const { return m_type; }
    int size() const { return m_size; }
    void setOnGetText(GetTextHandler handler) { m_onGetText = std::move(handler); }

    // The row being appended. Text is converted to the column's type: empty
    // text makes the value null, text longer than a text column is cut to its
    // first size() characters, text that is no number or date is refused.
    void setAsString(const QString& text);
    // Strings follow setAsString; numbers and dates are taken as they are.
    void setValue(const QVariant& value);
    void clear();

    // Stored rows, counted from 0 in the order they were appended.
    bool isNull(int row) const;
    QString text(int row) const;        // "" for null; 12 / 31.12.2003 / 12,50
    QString displayText(int row) const; // through the handler, if there is one
    QVariant value(int row) const;      // null: an invalid QVariant

private:
    friend class MemTable;
    static constexpr qint64 kNull = std::numeric_limits<qint64>::min();
    void store();
    void discard();
    void reset();
    QString convertError(const QString& text) const;

    MemTable& m_table;
    QString m_name;
    ColumnType m_type;
    int m_size;
    GetTextHandler m_onGetText;
    // Text columns keep strings, the others one number per row: an integer,
    // a Julian day, or ten-thousandths of a currency unit.
    std::vector<QString> m_texts;
    std::vector<qint64> m_numbers;
    QString m_pendingText;
    qint64 m_pendingNumber = kNull;
};

// A table that lives in memory only, for the rows of one report: typed
// columns declared before it is activated, rows appended one by one and read
// back in that order. Nothing is read from or written to a file.
class MemTable : public QObject {
    Q_OBJECT
public:
    explicit MemTable(const QString& name, QObject* parent = nullptr);
    ~MemTable() override;

    QString name() const { return objectName(); }

    // Declares a column; only while the table is not active.
    MemColumn& addColumn(const QString& name, ColumnType type, int size = 0);
    int columnCount() const { return int(m_columns.size()); }
    MemColumn& column(int index) const { return *m_columns.at(size_t(index)); }
    MemColumn* findField(const QString& name) const;
    MemColumn& fieldByName(const QString& name) const; // throws when unknown

    // Activating makes the table usable and empty; closing drops the rows.
    void open();
    void close();
    bool active() const { return m_active; }

    void append();
    void post();
    void cancel();
    bool appending() const { return m_appending; }
    int rowCount() const { return m_rows; }

private:
    friend class MemColumn;
    [[noreturn]] void fail(const QString& text) const;
    void checkAppending() const;

    std::vector<std::unique_ptr<MemColumn>> m_columns;
    QHash<QString, int> m_byName;
    bool m_active = false;
    bool m_appending = false;
    int m_rows = 0;
};

} // namespace rpt
