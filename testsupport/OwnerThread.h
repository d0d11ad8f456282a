#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "core/JobRunner.h"

namespace teelink {

// The test's own thread as an owner: deliveries wait in a queue until the
// test runs them, as a window's event loop would.
class CTestOwnerThread : public IOwnerThread {
public:
    void Deliver(std::function<void()> call) override {
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back(std::move(call));
        }
        m_arrived.notify_all();
    }
    // Runs the deliveries that arrive within `wait`; how many ran.
    int RunFor(std::chrono::milliseconds wait) {
        int ran = 0;
        const auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            std::function<void()> call;
            {
                std::unique_lock lock(m_mutex);
                if (!m_arrived.wait_until(lock, deadline, [&] { return !m_calls.empty(); })) {
                    return ran;
                }
                call = std::move(m_calls.front());
                m_calls.pop_front();
            }
            call();
            ++ran;
        }
    }
    // Runs deliveries until `done` holds or ten seconds pass.
    bool RunUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            RunFor(std::chrono::milliseconds(10));
        }
        return done();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<std::function<void()>> m_calls;
};

// Runs `job` at `place` through a job runner, as a page or the command line
// does, and hands back its result on the test's thread once the runner has
// shown a failure's texts through `boxes`. None when the job was stopped.
template <typename T>
std::optional<Result<T>> RunThroughRunner(IUserNotifier& boxes, CJobPlace place,
                                          typename CJobRunner<T>::Job job) {
    CTestOwnerThread owner;
    std::optional<Result<T>> ended;
    CJobRunner<T> runner(owner, boxes);
    runner.Start(std::move(place), std::move(job),
                 [&ended](Result<T>& result) { ended.emplace(std::move(result)); });
    owner.RunUntil([&] { return ended.has_value() || !runner.Running(); });
    return ended;
}

}  // namespace teelink
