#pragma once

// The server's log on a descriptor (its standard output) that never holds up an
// answer: lines wait in a bounded queue for a writer thread of their own, and
// a reader that stops taking them (a pipe nobody reads) costs lines, never
// requests. Dropped lines are counted, and the count is written once the
// reader takes lines again.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace teelink {

class CLogWriter {
public:
    explicit CLogWriter(int fd, size_t maxQueued = 1024);
    ~CLogWriter();  // writes what it can within a moment, then drops the rest
    CLogWriter(const CLogWriter&) = delete;
    CLogWriter& operator=(const CLogWriter&) = delete;

    // Queues one line (a newline is added); never waits for the descriptor.
    void Line(std::string line);
    size_t Dropped() const { return m_dropped; }

private:
    void Run();
    bool WriteAll(const std::string& text);

    int m_fd;
    size_t m_maxQueued;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::string> m_queue;
    std::atomic<size_t> m_dropped{0};
    size_t m_droppedTold = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

}  // namespace teelink
