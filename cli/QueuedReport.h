#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "common/UserNotifier.h"
#include "core/Worker.h"

namespace teelink {

// A worker's reports, and the texts its end shows, queued in their order for
// the command's main thread, which the window gets through its event loop: the
// main thread alone prints and decides. Taking the job's last report joins the
// worker it reaps.
template <typename Message>
class CQueuedReport : public CDeliveringReport<Message>, public IUserNotifier {
public:
    struct Event {
        bool isProgress = false;
        int bar = 0;
        int position = 0;
        Message message{};
        int param = 0;
        bool last = false;  // the job's last report
        std::string text;   // a text to show (a box in the window), when not empty
    };

    void Progress(int bar, int position) override {
        Event event;
        event.isProgress = true;
        event.bar = bar;
        event.position = position;
        Push(std::move(event));
    }
    void Post(Message message, int param) override { Push(Report(message, param, false)); }
    void Finish(Message message, int param) override { Push(Report(message, param, true)); }
    void ShowPlain(const std::string& text) override {
        Event event;
        event.text = text.empty() ? std::string(" ") : text;
        Push(std::move(event));
    }

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
    static Event Report(Message message, int param, bool last) {
        Event event;
        event.message = message;
        event.param = param;
        event.last = last;
        return event;
    }
    void Push(Event event) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back(std::move(event));
        }
        m_ready.notify_one();
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Event> m_events;
};

}  // namespace teelink
