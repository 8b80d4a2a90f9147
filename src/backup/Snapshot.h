#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariantList>

struct sqlite3;

namespace backup {

// What a catalogue holds, read in one read transaction: the rows of each of
// the thirteen tables and the key counter. Two files with equal snapshots of
// one moment hold the same catalogue unless a page was lost in between, and
// that is what the structural check of SQLite finds.
struct Snapshot {
    QList<QPair<QString, qint64>> tableRows; // the thirteen tables in the schema's order
    QVariantList keyCounter;                 // every value of the key counter's rows, in row order

    qint64 rows(const QString& table) const; // -1 when not read
    qint64 volumes() const;
    qint64 ownCopies() const;
    bool operator==(const Snapshot&) const = default;
};

// A connection of its own to one file, closed on every path out.
class Handle {
public:
    enum class Mode { ReadOnly, ReadWrite, Create };
    // Throws db::EngineError with the user's words for what SQLite reports.
    Handle(const QString& file, Mode mode);
    ~Handle();
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    sqlite3* get() const { return m_db; }
    QString file() const { return m_file; }
    void exec(const QString& sql);
    QVariant value(const QString& sql); // the first column of the first row
    // Closes now, so the file can be synced, renamed or removed; reports
    // what a failed close means (a write SQLite could not finish).
    void close();

private:
    sqlite3* m_db = nullptr;
    QString m_file;
};

// Counts in the read transaction that is open on db (or in one of their own).
Snapshot readSnapshot(sqlite3* db);

// SQLite's structural check of the whole file; throws db::Error naming the
// file when it finds anything.
void quickCheck(Handle& db, const QString& shownName);

// Whether the open file is a catalogue this program can use: its own
// application id, a layout not newer than this program's, and the thirteen
// tables with every column the program reads. Throws db::Error saying what is
// wrong otherwise.
void checkLayout(Handle& db, const QString& shownName);

// Opens the file for reading and runs both checks; returns its snapshot.
Snapshot checkCatalogueFile(const QString& file);

// A digest of every row of the thirteen tables in row-id order: equal
// digests mean equal catalogues, table by table, value by value.
QByteArray contentDigest(sqlite3* db);

} // namespace backup
