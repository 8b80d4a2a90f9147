#include "Bench.h"

#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <limits>
#include <sqlite3.h>
#include <stdexcept>
#include <sys/resource.h>

namespace bench {

double bestOf(int runs, const std::function<void()>& work)
{
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

double peakMemoryMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void Report::print(bool csv) const
{
    QTextStream out(stdout);
    print(out, csv);
}

void Report::print(QTextStream& out, bool csv) const
{
    if (csv) {
        out << "operation,ms,raw_ms,ratio\n";
        for (const Row& r : m_rows)
            out << csvField(r.operation) << ',' << QString::number(r.ms, 'f', 2) << ',' << QString::number(r.rawMs, 'f', 2)
                << ',' << QString::number(r.rawMs > 0 ? r.ms / r.rawMs : 0, 'f', 2) << '\n';
        for (const Row& f : m_figures)
            out << csvField(f.operation) << ',' << QString::number(f.ms, 'f', 1) << ",,\n";
        out << "peak_memory_mb," << QString::number(m_memory, 'f', 1) << ",,\n";
        return;
    }
    out << QStringLiteral("%1 %2 %3 %4\n")
               .arg(QStringLiteral("operation"), -44)
               .arg(QStringLiteral("ms"), 10)
               .arg(QStringLiteral("raw ms"), 10)
               .arg(QStringLiteral("ratio"), 7);
    for (const Row& r : m_rows)
        out << QStringLiteral("%1 %2 %3 %4\n")
                   .arg(r.operation, -44)
                   .arg(r.ms, 10, 'f', 2)
                   .arg(r.rawMs > 0 ? QString::number(r.rawMs, 'f', 2) : QStringLiteral("-"), 10)
                   .arg(r.rawMs > 0 ? QString::number(r.ms / r.rawMs, 'f', 2) : QStringLiteral("-"), 7);
    for (const Row& f : m_figures)
        out << QStringLiteral("%1 %2\n").arg(f.operation, -44).arg(f.ms, 10, 'f', 1);
    out << QStringLiteral("%1 %2\n").arg(QStringLiteral("peak memory (MB)"), -44).arg(m_memory, 10, 'f', 1);
}

// Every value of the current row, each read as its type: what a program
// does that uses the values, and what the engine does when it reads a row.
qint64 rawReadValues(sqlite3_stmt* s, int first)
{
    qint64 seen = 0;
    const int n = sqlite3_column_count(s);
    for (int c = first; c < n; ++c) {
        switch (sqlite3_column_type(s, c)) {
        case SQLITE_INTEGER:
            seen += sqlite3_column_int64(s, c);
            break;
        case SQLITE_FLOAT:
            seen += qint64(sqlite3_column_double(s, c));
            break;
        case SQLITE_NULL:
            break;
        default:
            seen += qint64(sqlite3_column_blob(s, c) != nullptr) + sqlite3_column_bytes(s, c);
        }
    }
    return seen;
}

void rawExec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error ? error : "sqlite error";
        sqlite3_free(error);
        throw std::runtime_error(text);
    }
}

qint64 rawCollectIds(sqlite3* db, const QString& sql, const QString& param)
{
    sqlite3_stmt* stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db, utf8.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    QByteArray p = param.toUtf8();
    for (int i = 1; i <= sqlite3_bind_parameter_count(stmt); ++i)
        sqlite3_bind_text(stmt, i, p.constData(), int(p.size()), SQLITE_STATIC);
    std::vector<qint64> ids;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(stmt, 0));
    sqlite3_finalize(stmt);
    return qint64(ids.size());
}

std::vector<qint64> rawFirstWindow(sqlite3* db, const QString& table, const QString& where, const QString& order,
                                   const QString& orderIndex)
{
    constexpr int kWindow = 256;
    constexpr qint64 kSortAtMost = 16384;
    const auto ids = [db](const QString& sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
        std::vector<qint64> read;
        while (sqlite3_step(stmt) == SQLITE_ROW)
            read.push_back(sqlite3_column_int64(stmt, 0));
        sqlite3_finalize(stmt);
        return read;
    };
    const QString count = QStringLiteral("SELECT count(*) FROM ") + table;
    const QString window = QStringLiteral(" ORDER BY ") + order + QStringLiteral(" LIMIT ") + QString::number(kWindow);
    if (where.isEmpty()) {
        std::vector<qint64> read = ids(QStringLiteral("SELECT rowid FROM ") + table + window);
        if (read.size() == size_t(kWindow))
            ids(count);
        return read;
    }
    const QString condition = QStringLiteral(" WHERE ") + where;
    if (ids(count + condition).front() <= kSortAtMost)
        return ids(QStringLiteral("SELECT rowid FROM ") + table + condition + QStringLiteral(" ORDER BY +") + order);
    return ids(QStringLiteral("SELECT rowid FROM ") + table + QStringLiteral(" INDEXED BY ") + orderIndex + condition +
               window);
}

} // namespace bench
