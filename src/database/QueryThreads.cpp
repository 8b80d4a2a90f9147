#include "database/QueryThreads.h"

#include "database/Connection.h"
#include "core/Errors.h"

#include <sqlite3.h>

#include <algorithm>
#include <optional>

namespace db {

namespace {
// Going back behind the cursor starts it again from the first row; reading
// several blocks on that pass keeps scrolling upwards from restarting at
// every block.
constexpr int kBlocksPerRestart = 8;
// Requests kept waiting: the blocks a grid asked for last are the ones it
// shows, older ones scrolled out of view while the cursor was busy.
constexpr size_t kWaiting = 8;
// Virtual machine steps between two looks at the stop switch: cheap beside
// the steps themselves, and a stop takes effect within microseconds.
constexpr int kProgressSteps = 1000;
} // namespace

StopSwitch::StopSwitch(sqlite3* handle) : m_handle(handle)
{
    sqlite3_progress_handler(m_handle, kProgressSteps, &StopSwitch::onProgress, this);
}

StopSwitch::~StopSwitch()
{
    sqlite3_progress_handler(m_handle, 0, nullptr, nullptr);
}

quint64 StopSwitch::begin()
{
    m_begun = m_stops.load();
    return m_begun;
}

void StopSwitch::stop()
{
    ++m_stops;
    sqlite3_interrupt(m_handle);
}

int StopSwitch::onProgress(void* self)
{
    return static_cast<StopSwitch*>(self)->stopped() ? 1 : 0;
}

CursorThread::CursorThread(std::unique_ptr<Connection> connection, Statement statement, Sink sink)
    : m_connection(std::move(connection)),
      m_statement(std::move(statement)),
      m_sink(std::move(sink)),
      m_stop(m_connection->handle())
{
    m_thread = std::thread([this] { run(); });
}

CursorThread::~CursorThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_stop.stop();
    }
    m_wake.notify_one();
    m_thread.join();
    // The statement goes before its connection.
    m_statement = Statement();
}

bool CursorThread::request(int block)
{
    {
        std::lock_guard lock(m_mutex);
        if (block == m_current || std::find(m_queue.begin(), m_queue.end(), block) != m_queue.end())
            return false;
        m_queue.push_back(block);
        if (m_queue.size() > kWaiting) {
            m_queue.pop_front();
            ++m_handled;
        }
    }
    m_wake.notify_one();
    return true;
}

CursorThread::Stopped CursorThread::stop()
{
    std::lock_guard lock(m_mutex);
    Stopped result;
    result.blocks.assign(m_queue.begin(), m_queue.end());
    if (m_current >= 0)
        result.blocks.push_back(m_current);
    m_handled += m_queue.size();
    m_queue.clear();
    m_stop.stop();
    result.handled = m_handled;
    return result;
}

int CursorThread::takeRequest()
{
    // The block asked for last is the one the grid shows now; blocks ahead
    // of the cursor on the way to it cost nothing extra and come first.
    const int at = m_next / kBlockRows;
    auto chosen = std::prev(m_queue.end());
    if (*chosen >= at)
        for (auto it = m_queue.begin(); it != m_queue.end(); ++it)
            if (*it >= at && *it < *chosen)
                chosen = it;
    const int block = *chosen;
    m_queue.erase(chosen);
    return block;
}

void CursorThread::run()
{
    for (;;) {
        int block = -1;
        quint64 begun = 0;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || !m_queue.empty(); });
            if (m_quit)
                return;
            block = takeRequest();
            m_current = block;
            begun = m_stop.begin();
        }
        CursorNews done;
        try {
            // A stop since the last request may have left an interrupt
            // pending on the half-read statement: start it afresh.
            if (begun != m_lastBegun) {
                m_statement.reset();
                m_next = 0;
                m_exhausted = false;
                m_lastBegun = begun;
            }
            read(block);
        } catch (const std::exception& e) {
            m_statement.reset();
            m_next = 0;
            m_exhausted = false;
            if (!m_stop.stopped())
                done.failure = QString::fromUtf8(e.what());
        }
        {
            std::lock_guard lock(m_mutex);
            m_current = -1;
            done.handled = ++m_handled;
        }
        m_sink(std::move(done));
    }
}

bool CursorThread::step()
{
    if (m_exhausted)
        return false;
    if (!m_statement.step()) {
        m_exhausted = true;
        return false;
    }
    ++m_next;
    return true;
}

void CursorThread::answered(int block)
{
    std::lock_guard lock(m_mutex);
    const auto it = std::find(m_queue.begin(), m_queue.end(), block);
    if (it != m_queue.end()) {
        m_queue.erase(it);
        ++m_handled;
    }
}

void CursorThread::read(int target)
{
    int from = target;
    if (qint64(m_next) > qint64(target) * kBlockRows) {
        m_statement.reset();
        m_next = 0;
        m_exhausted = false;
        from = std::max(0, target - kBlocksPerRestart + 1);
    }
    while (qint64(m_next) < qint64(from) * kBlockRows && step()) {
    }
    if (m_exhausted) {
        CursorNews end; // the result ends before the block asked for
        end.end = m_next;
        m_sink(std::move(end));
        return;
    }
    for (int block = from; block <= target && !m_exhausted; ++block) {
        CursorNews news;
        news.block = block;
        news.rows.reserve(kBlockRows);
        while (int(news.rows.size()) < kBlockRows && step())
            news.rows.push_back(Row::read(m_statement, 0, m_statement.columnCount()));
        if (m_exhausted)
            news.end = m_next;
        if (block != target)
            answered(block);
        m_sink(std::move(news));
    }
}

CountThread::CountThread(std::unique_ptr<Connection> connection, const QString& sql, const QString& component,
                         Sink sink)
    : m_connection(std::move(connection)),
      m_sql(sql),
      m_component(component),
      m_sink(std::move(sink)),
      m_stop(m_connection->handle())
{
    m_stop.begin();
    m_thread = std::thread([this] {
        CountNews news;
        try {
            news.count = count();
        } catch (const std::exception& e) {
            if (m_stop.stopped())
                news.stopped = true;
            else
                news.failure = QString::fromUtf8(e.what());
        }
        m_sink(std::move(news));
    });
}

CountThread::~CountThread()
{
    m_stop.stop();
    m_thread.join();
}

qint64 CountThread::count() const
{
    sqlite3* handle = m_connection->handle();
    // SQLite's own count(*) skips reading the columns; wrapping the text can
    // fail for exotic statements, stepping them cannot.
    std::optional<Statement> wrapped;
    try {
        wrapped.emplace(handle, QStringLiteral("SELECT count(*) FROM (\n%1\n)").arg(m_sql), m_component);
    } catch (const EngineError&) {
    }
    if (wrapped) {
        wrapped->step();
        return wrapped->columnInt64(0);
    }
    Statement statement(handle, m_sql, m_component);
    qint64 rows = 0;
    while (statement.step())
        ++rows;
    return rows;
}

} // namespace db
