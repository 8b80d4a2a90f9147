#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTextStream>
#include <functional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace bench {

// One measured operation: the engine's time beside the raw SQLite doing the same work.
struct Row {
    QString operation;
    double ms = 0;
    double rawMs = 0;
};

// Best of a few runs: the machine is shared, the minimum is the least noisy figure.
double bestOf(int runs, const std::function<void()>& work);

class Report {
public:
    void add(const QString& operation, double ms, double rawMs) { m_rows.push_back({operation, ms, rawMs}); }
    void addMemory(double megabytes) { m_memory = megabytes; }
    // A figure without a raw counterpart (a count, memory), printed after the rows.
    void addFigure(const QString& name, double value) { m_figures.push_back({name, value, 0}); }
    void print(bool csv) const; // to standard output
    // CSV after RFC 4180: a field with a comma, a quote or a line break goes
    // between quotes, its quotes doubled (operation names have commas).
    void print(QTextStream& out, bool csv) const;

private:
    std::vector<Row> m_rows;
    std::vector<Row> m_figures;
    double m_memory = 0;
};

double peakMemoryMb();

QString csvField(const QString& text);

// Raw SQLite helpers for the comparison side.
void rawExec(sqlite3* db, const char* sql);
// Every value of the current row from column first on, each read as its type.
qint64 rawReadValues(sqlite3_stmt* s, int first);
qint64 rawCollectIds(sqlite3* db, const QString& sql, const QString& param = {});
// The row ids a table shows first, read as the engine reads them: with no
// condition the first window along the order and the count; with one the
// count of its matches, then the first window walking the order's index
// when they are many, or every match sorted when they are few. order lists
// the terms and the row id, without ORDER BY.
std::vector<qint64> rawFirstWindow(sqlite3* db, const QString& table, const QString& where, const QString& order,
                                   const QString& orderIndex);
// A table's own columns, comma-separated: what the engine reads where "*"
// would also compute the generated key columns.
QString storedColumns(const QString& table);
// A collection's rows copied into a new file's plain tables, then the key
// columns and the indexes added, as the import does: the least SQLite must do.
void rawCopyCollection(sqlite3* db, const QString& sourceSchema);

// The engine's operations on a collection in dir/database, measured into report.
void runEngineBench(const QString& dir, Report& report);
// The search: two searches to the painted overview, the index's size, and
// appends with and without its triggers.
void runSearchBench(const QString& dir, Report& report);
// The overview's slowest combinations of order, filter boxes, search and switches.
// Only the cases whose name contains only.
void runOverviewBench(const QString& dir, const QString& only, Report& report);
// The main window on the same collection: start-up and filtering as the user sees them.
void runGuiBench(const QString& dir, Report& report);
// The reports on the same collection: rows gathered, pages laid out, the preview, PDF.
void runReportBench(const QString& dir, Report& report);
// Export, import, packing, the ISBN check and the SQL page's query.
void runToolsBench(const QString& dir, Report& report);
// A spreadsheet's CSV file of the given rows read and planned for import.
void runCsvImportBench(const QString& dir, int rows, Report& report);
// stripothek-db generating a collection of its own.
void runGenerateBench(Report& report);

} // namespace bench
