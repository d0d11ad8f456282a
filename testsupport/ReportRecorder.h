#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "core/Worker.h"

namespace teelink {

// Records what a worker reported, in order, from any thread; tests wait for a
// post with a deadline instead of sleeping.
template <typename Message>
class CReportRecorder : public IWorkerReport<Message> {
public:
    void Progress(int bar, int position) override {
        std::lock_guard lock(m_mutex);
        m_positions[bar].push_back(position);
    }
    void Post(Message message, int param) override {
        {
            std::lock_guard lock(m_mutex);
            m_posts.emplace_back(message, param);
        }
        m_posted.notify_all();
    }

    std::vector<int> Positions(int bar = 0) const {
        std::lock_guard lock(m_mutex);
        const auto it = m_positions.find(bar);
        return it == m_positions.end() ? std::vector<int>{} : it->second;
    }
    std::vector<std::pair<Message, int>> Posts() const {
        std::lock_guard lock(m_mutex);
        return m_posts;
    }
    // The posted messages without their parameters, leaving out `skip`.
    std::vector<Message> Messages(std::vector<Message> skip = {}) const {
        std::vector<Message> out;
        for (const auto& [message, param] : Posts()) {
            bool skipped = false;
            for (Message s : skip) {
                skipped = skipped || s == message;
            }
            if (!skipped) {
                out.push_back(message);
            }
        }
        return out;
    }
    // The parameters of every post of `message`.
    std::vector<int> Params(Message message) const {
        std::vector<int> out;
        for (const auto& [m, param] : Posts()) {
            if (m == message) {
                out.push_back(param);
            }
        }
        return out;
    }
    // Waits until `count` posts have arrived or `timeout` passes.
    bool WaitForPosts(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(m_mutex);
        return m_posted.wait_for(lock, timeout, [&] { return m_posts.size() >= count; });
    }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_positions.clear();
        m_posts.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_posted;
    std::map<int, std::vector<int>> m_positions;
    std::vector<std::pair<Message, int>> m_posts;
};

}  // namespace teelink
