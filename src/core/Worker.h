#pragma once

// The thread under the job runner (core/JobRunner.h): a job on a thread of
// its own, asked to stop through a stop source that the job polls (and that
// aborts an open server request), telling its owner how far it got through
// one small typed interface.

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/Result.h"

namespace teelink {

// What a job tells its owner while it runs; its end is its result. `Message`
// is the job's own enum of notices; progress is a bar position from 0 to 1000.
template <typename Message>
class IWorkerReport {
public:
    virtual ~IWorkerReport() = default;
    // Bar `bar` of the owner (0 for the first) moved to `position`.
    virtual void Progress(int bar, int position) = 0;
    // A notice; the job goes on.
    virtual void Post(Message message, int param) = 0;
};

// Why a job is asked to stop: the user's cancel ends it cancelled, and it
// says so; the owner's stop ends it quietly, since the owner is going away.
enum class StopReason : int { None, Cancel, Owner };

// The one flag every wait of a job polls (the device waits, an open server
// request), and the reason it was set. The owner's stop outranks a cancel.
class CStopSource {
public:
    void Request(StopReason reason);
    void Reset() {
        m_reason.store(StopReason::None);
        m_flag.store(false);
    }
    bool Requested() const { return m_flag.load(); }
    StopReason Reason() const { return m_reason.load(); }
    const std::atomic<bool>& Flag() const { return m_flag; }
    // The failure an interrupted job ends with: Stopped for the owner's stop,
    // Cancelled for the user's cancel; none while no stop was asked for.
    std::optional<CFailure> Interruption() const;

private:
    std::atomic<bool> m_flag{false};
    std::atomic<StopReason> m_reason{StopReason::None};
};

class CWorker {
public:
    using Job = std::function<void(const CStopSource& stop)>;

    CWorker() = default;
    // Asks the job to stop and waits for it. The owner must make sure first that
    // the job cannot be waiting for the owner's own thread (see Join).
    ~CWorker();
    CWorker(const CWorker&) = delete;
    CWorker& operator=(const CWorker&) = delete;

    // Runs `job` with a cleared stop source, and never waits: on a new thread,
    // or, while the last job is still running (told to stop, it is finishing
    // a request), on that job's thread right after it. A later Start replaces
    // a job that waits so; the last one asked for is the one that runs.
    void Start(Job job);

    // Sets the flag the job polls, for `reason`; the job ends at its next
    // check. The owner's stop drops a job that waits for its turn.
    void RequestStop(StopReason reason = StopReason::Owner);
    const CStopSource& Stop() const { return m_stop; }

    // True from Start until the job, and any that waited behind it, has returned.
    bool Running() const { return m_running.load(); }

    // Waits for the thread; a job never waits for its owner, so this is safe
    // on the owner's thread.
    void Join();

private:
    void Run(Job job);

    std::thread m_thread;
    CStopSource m_stop;
    std::atomic<bool> m_running{false};
    std::mutex m_mutex;  // guards m_pending, and m_running's fall to false
    Job m_pending;       // the job that runs when the running one returns
};

}  // namespace teelink
