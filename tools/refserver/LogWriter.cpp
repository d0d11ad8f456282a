#include "refserver/LogWriter.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace teelink {

namespace {

// A line longer than a pipe's atomic write could leave a writer waiting for
// room; the log's lines are far shorter, so a longer one is cut.
constexpr size_t kMaxLine = 1024;
constexpr int kPollMs = 100;
// On the way out, what the reader takes within this time is written.
constexpr auto kFlushTime = std::chrono::milliseconds(500);

}  // namespace

CLogWriter::CLogWriter(int fd, size_t maxQueued)
    : m_fd(fd), m_maxQueued(maxQueued), m_thread([this] { Run(); }) {}

CLogWriter::~CLogWriter() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CLogWriter::Line(std::string line) {
    if (line.size() > kMaxLine) {
        line.resize(kMaxLine - 3);
        line += "...";
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.size() >= m_maxQueued) {
            ++m_dropped;
            return;
        }
        m_queue.push_back(std::move(line) + "\n");
    }
    m_wake.notify_one();
}

// Writes `text` while the descriptor takes it; false when the writer stops first.
bool CLogWriter::WriteAll(const std::string& text) {
    const auto flushEnd = std::chrono::steady_clock::now() + kFlushTime;
    size_t done = 0;
    while (done < text.size()) {
        if (m_stopping && std::chrono::steady_clock::now() > flushEnd) {
            return false;
        }
        pollfd entry{m_fd, POLLOUT, 0};
        const int ready = ::poll(&entry, 1, kPollMs);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready <= 0) {
            continue;
        }
        if ((entry.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return false;  // nobody will ever read it
        }
        const ssize_t n = ::write(m_fd, text.data() + done, text.size() - done);
        if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return false;
        }
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return true;
}

void CLogWriter::Run() {
    for (;;) {
        std::string text;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty()) {
                break;
            }
            const size_t dropped = m_dropped;
            if (dropped != m_droppedTold) {
                text = "(" + std::to_string(dropped - m_droppedTold) +
                       " log lines dropped: the log was not read)\n";
                m_droppedTold = dropped;
            }
            text += m_queue.front();
            m_queue.pop_front();
        }
        if (!WriteAll(text)) {
            std::lock_guard lock(m_mutex);
            if (m_stopping) {
                break;
            }
        }
    }
}

}  // namespace teelink
