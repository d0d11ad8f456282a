#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "core/Worker.h"

namespace teelink {

// A worker's reports queued for the command's main thread, which the window
// gets through its event loop: the main thread alone prints and decides. Taking
// the job's last report joins the worker it reaps.
template <typename Message>
class CQueuedReport : public CDeliveringReport<Message> {
public:
    struct Event {
        bool isProgress = false;
        int bar = 0;
        int position = 0;
        Message message{};
        int param = 0;
        bool last = false;  // the job's last report
    };

    void Progress(int bar, int position) override { Push({true, bar, position, Message{}, 0}); }
    void Post(Message message, int param) override { Push({false, 0, 0, message, param}); }
    void Finish(Message message, int param) override { Push({false, 0, 0, message, param, true}); }

    // The next report, waiting for one at most `wait`.
    std::optional<Event> Next(std::chrono::milliseconds wait) {
        Event event;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_ready.wait_for(lock, wait, [this] { return !m_events.empty(); })) {
                return std::nullopt;
            }
            event = m_events.front();
            m_events.pop_front();
        }
        if (event.last) {
            this->LastReportDelivered();
        }
        return event;
    }

private:
    void Push(const Event& event) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back(event);
        }
        m_ready.notify_one();
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Event> m_events;
};

}  // namespace teelink
