#pragma once

// The one way a long operation runs: a job on a thread of its own, asked to
// stop through an atomic flag that the job polls (and that aborts an open
// server request), reporting through one small typed interface, and ending
// with one last report, after which its worker is joined by the side that
// delivered that report.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/Result.h"
#include "common/UserNotifier.h"

namespace teelink {

// What a worker tells its owner. `Message` is the worker's own enum of results
// and notices; progress is a bar position from 0 to 1000.
template <typename Message>
class IWorkerReport {
public:
    virtual ~IWorkerReport() = default;
    // Bar `bar` of the owner (0 for the first) moved to `position`.
    virtual void Progress(int bar, int position) = 0;
    // A notice; the job goes on.
    virtual void Post(Message message, int param) = 0;
    // The job's last report: after it the job touches nothing of its owner.
    virtual void Finish(Message message, int param) = 0;
};

class CWorker {
public:
    using Job = std::function<void(const std::atomic<bool>& stop)>;

    CWorker() = default;
    // Asks the job to stop and waits for it. The owner must make sure first that
    // the job cannot be waiting for the owner's own thread (see Join).
    ~CWorker();
    CWorker(const CWorker&) = delete;
    CWorker& operator=(const CWorker&) = delete;

    // Runs `job` with a cleared stop flag, and never waits: on a new thread,
    // or, while the last job is still running (told to stop, it is finishing
    // a request), on that job's thread right after it. A later Start replaces
    // a job that waits so; the last one asked for is the one that runs.
    void Start(Job job);

    // Sets the flag the job polls; the job ends at its next check. A job that
    // waits for its turn is dropped.
    void RequestStop();
    const std::atomic<bool>& StopFlag() const { return m_stop; }

    // True from Start until the job, and any that waited behind it, has returned.
    bool Running() const { return m_running.load(); }

    // Waits for the thread. Safe on a user-interface thread only when the job
    // cannot be waiting for that thread: it has sent its last report, or every
    // box it could wait for has been released.
    void Join();
    // Join, unless a job started meanwhile waits behind the one that ended, or
    // runs on its thread already: that job may be waiting for the caller's
    // thread. Call it on the thread that starts the jobs.
    void JoinUnlessFollowed();

private:
    void Run(Job job);

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
    std::mutex m_mutex;       // guards m_pending, and m_running's fall to false
    Job m_pending;            // the job that runs when the running one returns
    bool m_followed = false;  // the thread took a job that waited; guarded by m_mutex
};

// A report that carries a job's reports to its owner's thread. Once it has
// delivered the last one there, the job has nothing left to do: the worker it
// reaps is joined before the owner's handler runs, so no owner joins by hand.
template <typename Message>
class CDeliveringReport : public IWorkerReport<Message> {
public:
    // The worker whose jobs report here.
    void Reap(CWorker& worker) { m_worker = &worker; }

protected:
    // Called on the owner's thread as the last report is handed over.
    void LastReportDelivered() {
        if (m_worker != nullptr) {
            m_worker->JoinUnlessFollowed();
        }
    }

private:
    CWorker* m_worker = nullptr;
};

// The end of a job in one place. A job that its owner stopped ends quietly: the
// owner is going away and waits for nothing. Otherwise the failure's texts are
// shown one box at a time, in their order, and then the last report goes out.
template <typename Message>
void EndJob(IWorkerReport<Message>& report, IUserNotifier& notifier, const CFailure* failure,
            Message last, int param = 0) {
    if (failure != nullptr) {
        if (failure->Kind() == FailureKind::Stopped) {
            return;
        }
        for (const std::string& text : failure->Texts()) {
            notifier.ShowPlain(text);
        }
    }
    report.Finish(last, param);
}

}  // namespace teelink
