#pragma once

// What the parsing thread of the import hands to the storing one.

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <vector>

namespace tools::import {

// Parsed rows waiting to be stored, at most. While the storing thread builds
// the catalogue's indexes the parsing runs ahead through the next files; at
// 100,000 volumes what it gets ahead by fits in this.
inline constexpr qsizetype kQueuedBytes = 256 * 1024 * 1024;

// One value of a parsed row: a number, or text or bytes where they lie in
// their batch's buffer; none for a null. Small, as the rows of whole files
// may wait in memory.
struct Value {
    union {
        qint64 integer = 0;
        double real;
        qsizetype offset;
    };
    qint32 size = 0; // SQLite takes no longer value anyway
    enum class Kind : char { Null, Integer, Float, Text, Blob } kind = Kind::Null;
};
static_assert(sizeof(Value) == 16);

// Rows parsed but not stored yet: columns values per row, row after row.
// The texts of all of them share one buffer: a string of its own for each
// value meant an allocation on the parsing thread and a release on the
// storing one, where the two threads contend for the allocator's locks.
struct RowBatch {
    std::vector<Value> values;
    QByteArray text;
    int rows = 0;
    // The last batch of a file, sent only once the whole file has been read
    // and found sound, so a table gets its indexes only then.
    bool endOfFile = false;

    qsizetype bytes() const { return qsizetype(values.capacity() * sizeof(Value)) + text.capacity(); }
};

// Hands batches from the parsing thread to the storing one, in order.
class BatchQueue {
public:
    // False once the storing side has given up.
    bool push(RowBatch batch)
    {
        const qsizetype bytes = batch.bytes();
        std::unique_lock lock(m_mutex);
        m_space.wait(lock, [&] { return m_bytes + bytes <= kQueuedBytes || m_batches.empty() || m_cancelled; });
        if (m_cancelled)
            return false;
        m_bytes += bytes;
        m_batches.push_back(std::move(batch));
        m_ready.notify_one();
        return true;
    }
    // The parsing ended, with the error that ended it, if any.
    void finish(std::exception_ptr error)
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
        m_error = error;
        m_ready.notify_one();
    }
    // False at the end of the rows; throws the parsing's error. The batch
    // given, stored by now, goes back to the parsing side for reuse.
    bool pop(RowBatch& batch)
    {
        std::unique_lock lock(m_mutex);
        if (batch.values.capacity() > 0)
            m_spares.push_back(std::move(batch));
        m_ready.wait(lock, [this] { return !m_batches.empty() || m_done; });
        if (!m_batches.empty()) {
            batch = std::move(m_batches.front());
            m_batches.pop_front();
            m_bytes -= batch.bytes();
            m_space.notify_one();
            return true;
        }
        if (m_error)
            std::rethrow_exception(m_error);
        return false;
    }
    // A batch to fill, stored before where there is one: its memory is
    // already there, so filling it costs no page faults. What the spares
    // hold never exceeds what the queue held at most.
    RowBatch spare()
    {
        std::lock_guard lock(m_mutex);
        if (m_spares.empty())
            return {};
        RowBatch batch = std::move(m_spares.back());
        m_spares.pop_back();
        return batch;
    }
    void cancel()
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        m_space.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_space;
    std::deque<RowBatch> m_batches;
    std::vector<RowBatch> m_spares;
    qsizetype m_bytes = 0;
    bool m_done = false;
    bool m_cancelled = false;
    std::exception_ptr m_error;
};

} // namespace tools::import
