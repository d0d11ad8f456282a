#pragma once

// The one way every owner runs a job: the window's pages, the course selection
// dialog and the command line. The owner copies what the job needs from the
// document into the job on its own thread; the job runs on the runner's
// worker with a context built here, shows nothing and touches no document, and
// returns a Result. The runner hands that result to the owner's thread, shows
// a failure's texts there one box at a time, and then calls the owner's
// ending, which writes the value into the document. A job that its owner
// stopped delivers nothing.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "common/Result.h"
#include "common/UserNotifier.h"
#include "core/JobContext.h"
#include "core/Worker.h"

namespace teelink {

// Runs calls on the owner's thread, in the order they were handed over. The
// window's report posts them through its box queue; the command line queues
// them for its main loop.
class IOwnerThread {
public:
    virtual ~IOwnerThread() = default;
    // Callable from any thread; `call` runs later on the owner's thread.
    virtual void Deliver(std::function<void()> call) = 0;
};

// Where a job works: the device (none for a job of the server alone) and the
// server's limits.
struct CJobPlace {
    CDevice device;
    CServerSettings server;
};

// The job's thread, marked while a runner's job runs on it: the document
// checks against it.
bool OnJobThread();

namespace detail {
// Marks the calling thread as a job's thread for its lifetime.
class CJobThreadMark {
public:
    CJobThreadMark();
    ~CJobThreadMark();
    CJobThreadMark(const CJobThreadMark&) = delete;
    CJobThreadMark& operator=(const CJobThreadMark&) = delete;
};
}  // namespace detail

template <typename T>
class CJobRunner {
public:
    using Job = std::function<Result<T>(const CJobContext&)>;
    // Called on the owner's thread with the job's result, after a failure's
    // texts have been shown. Never called for a job its owner stopped.
    using Ending = std::function<void(Result<T>& result)>;

    CJobRunner(IOwnerThread& owner, IUserNotifier& boxes) : m_owner(owner), m_boxes(boxes) {}
    // Stops the job and waits for it: safe on any thread, since a job never
    // waits for its owner.
    ~CJobRunner() {
        Stop();
        m_worker.Join();
    }
    CJobRunner(const CJobRunner&) = delete;
    CJobRunner& operator=(const CJobRunner&) = delete;

    // Runs `job` at `place`; `ending` gets its result. Never waits: a job
    // started while the last one is still stopping runs right after it, and
    // the last one's result is dropped.
    void Start(CJobPlace place, Job job, Ending ending) {
        const uint64_t run = ++m_run;
        m_open.store(true);
        if (m_worker.Running()) {
            m_worker.RequestStop(StopReason::Owner);  // replaced: it ends quietly
        }
        m_worker.Start([this, run, place = std::move(place), job = std::move(job),
                        ending = std::move(ending)](const CStopSource& stop) mutable {
            Result<T> result = RunJob(job, CJobContext{place.device, place.server, stop});
            if (stop.Reason() == StopReason::Owner) {
                return;  // the owner is going away, or started another job
            }
            if (!result.Ok() && result.Failure().Kind() == FailureKind::Stopped) {
                // Not the owner's stop, so the user's cancel: said as such,
                // and the owner always hears how its job ended.
                result = CFailure::Cancelled();
            }
            std::weak_ptr<int> alive = m_alive;
            m_owner.Deliver([this, alive, run, result = std::move(result),
                             ending = std::move(ending)]() mutable {
                if (alive.lock() != nullptr && run == m_run.load()) {
                    End(result, ending);
                }
            });
        });
    }

    // The user's Cancel: the job ends at its next check with a Cancelled
    // failure, which is delivered like any other.
    void Cancel() { m_worker.RequestStop(StopReason::Cancel); }
    // The owner's stop: the job ends quietly at its next check, an open
    // request at once; nothing is delivered. Does not wait.
    void Stop() {
        ++m_run;
        m_open.store(false);
        m_worker.RequestStop(StopReason::Owner);
    }
    // Stop, and wait until the job has returned.
    void StopAndWait() {
        Stop();
        m_worker.Join();
    }

    // From Start until the ending has been called, or the job stopped.
    bool Running() const { return m_open.load(); }
    // Whether the running job was asked to stop or cancel.
    bool StopRequested() const { return m_worker.Stop().Requested(); }

private:
    static Result<T> RunJob(Job& job, const CJobContext& context) {
        const detail::CJobThreadMark mark;
        return job(context);
    }

    void End(Result<T>& result, Ending& ending) {
        m_open.store(false);
        if (!result.Ok()) {
            for (const std::string& text : result.Failure().Texts()) {
                m_boxes.ShowPlain(text);
            }
        }
        ending(result);
    }

    IOwnerThread& m_owner;
    IUserNotifier& m_boxes;
    std::atomic<uint64_t> m_run{0};  // the run whose result the owner waits for
    std::atomic<bool> m_open{false};
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);  // owner-thread liveness
    CWorker m_worker;  // last: joined before what its job uses goes away
};

}  // namespace teelink
