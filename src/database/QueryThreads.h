#pragma once

#include "database/Row.h"
#include "database/Statement.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct sqlite3;

namespace db {

class Connection;

// Lets the program's thread stop what another thread runs on a connection.
// sqlite3_interrupt ends the statement running at that moment; the progress
// handler also ends one that only starts after the stop, which the interrupt
// would miss. A stop ends the work begun before it, never work begun later.
class StopSwitch {
public:
    explicit StopSwitch(sqlite3* handle);
    ~StopSwitch();
    StopSwitch(const StopSwitch&) = delete;
    StopSwitch& operator=(const StopSwitch&) = delete;

    // By the working thread (or before it starts): work from here on is
    // ended only by a later stop. Returns the number of stops so far.
    quint64 begin();
    // Whether a stop came after the last begin().
    bool stopped() const { return m_stops.load() != m_begun; }
    // Any thread.
    void stop();

private:
    static int onProgress(void* self);
    sqlite3* m_handle;
    std::atomic<quint64> m_stops{0};
    quint64 m_begun = 0; // the working thread's
};

// What the cursor's thread reports, one piece of news at a time.
struct CursorNews {
    int block = -1;         // the rows of this block follow, when >= 0
    std::vector<Row> rows;
    qint64 end = -1;        // the result has this many rows (the cursor met its end)
    quint64 handled = 0;    // requests done so far: read, dropped, stopped or failed
    QString failure;        // a step failed (a stop is no failure)
};

// A query's one forward cursor, stepped on a thread of its own on a
// read-only connection of its own. Rows are read in blocks, as asked for;
// going back behind the cursor starts it again from the first row.
class CursorThread {
public:
    static constexpr int kBlockRows = 128;
    using Sink = std::function<void(CursorNews)>;

    // Takes the connection and the statement prepared on it; news is given
    // to sink on the cursor's thread.
    CursorThread(std::unique_ptr<Connection> connection, Statement statement, Sink sink);
    ~CursorThread(); // stops and waits for the thread
    CursorThread(const CursorThread&) = delete;
    CursorThread& operator=(const CursorThread&) = delete;

    // False when the block is asked for already or being read.
    bool request(int block);

    struct Stopped {
        std::vector<int> blocks; // asked for, and now not coming
        quint64 handled = 0;
    };
    // Ends the reading under way and drops what was asked for.
    Stopped stop();

private:
    void run();
    int takeRequest();
    void read(int target);
    bool step();
    void answered(int block);

    std::unique_ptr<Connection> m_connection;
    Statement m_statement;
    Sink m_sink;
    StopSwitch m_stop;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<int> m_queue; // oldest first
    int m_current = -1;      // the block being read
    quint64 m_handled = 0;
    bool m_quit = false;

    // The thread's own.
    int m_next = 0; // the row the next step yields
    bool m_exhausted = false;
    quint64 m_lastBegun = 0;

    std::thread m_thread;
};

struct CountNews {
    qint64 count = -1;
    bool stopped = false;
    QString failure;
};

// Counts a query's rows on a thread and connection of its own, through
// SQLite's count(*) where the statement can be wrapped, else by stepping it.
class CountThread {
public:
    using Sink = std::function<void(CountNews)>;
    CountThread(std::unique_ptr<Connection> connection, const QString& sql, const QString& component, Sink sink);
    ~CountThread();
    CountThread(const CountThread&) = delete;
    CountThread& operator=(const CountThread&) = delete;
    void stop() { m_stop.stop(); }

private:
    qint64 count() const;

    std::unique_ptr<Connection> m_connection;
    QString m_sql;
    QString m_component;
    Sink m_sink;
    StopSwitch m_stop;
    std::thread m_thread;
};

} // namespace db
