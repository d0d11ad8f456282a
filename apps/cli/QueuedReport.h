#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "common/UserNotifier.h"
#include "core/JobRunner.h"
#include "core/Worker.h"

namespace teelink {

// A job's reports, its result's delivery, the texts its end shows and its end
// itself, queued in their order for the command's main thread, which the
// window gets through its event loop: the main thread alone prints and
// decides. A delivery runs on the main thread as Next takes it; what it shows
// and its end come next in the queue.
template <typename Message>
class CQueuedReport : public IWorkerReport<Message>, public IOwnerThread, public IUserNotifier {
public:
    struct Event {
        bool isProgress = false;
        int bar = 0;
        int position = 0;
        Message message{};
        int param = 0;
        bool last = false;           // the job's end
        std::string text;            // a text to show (a box in the window), when not empty
        std::function<void()> call;  // a delivery for the main thread
    };

    void Progress(int bar, int position) override {
        Event event;
        event.isProgress = true;
        event.bar = bar;
        event.position = position;
        Push(std::move(event));
    }
    void Post(Message message, int param) override { Push(Report(message, param, false)); }
    // The job's end, as its owner makes it out of the result (on the main thread).
    void End(Message message, int param = 0) { Push(Report(message, param, true)); }
    void Deliver(std::function<void()> call) override {
        Event event;
        event.call = std::move(call);
        Push(std::move(event));
    }
    void ShowPlain(const std::string& text) override {
        Event event;
        event.text = text.empty() ? std::string(" ") : text;
        Push(std::move(event));
    }

    // The next report, waiting for one at most `wait`. Deliveries run here,
    // on the caller's thread, and are not returned.
    std::optional<Event> Next(std::chrono::milliseconds wait) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            Event event;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                if (!m_ready.wait_until(lock, deadline, [this] { return !m_events.empty(); })) {
                    return std::nullopt;
                }
                event = std::move(m_events.front());
                m_events.pop_front();
            }
            if (!event.call) {
                return event;
            }
            event.call();
        }
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
