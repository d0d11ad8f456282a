#pragma once

// The one way a long operation runs: a job on a thread of its own, asked to
// stop through an atomic flag that the job polls (and that aborts an open
// server request), reporting through one small typed interface.

#include <atomic>
#include <functional>
#include <thread>

namespace teelink {

// What a worker tells its owner. `Message` is the worker's own enum of results
// and notices; progress is a bar position from 0 to 1000.
template <typename Message>
class IWorkerReport {
public:
    virtual ~IWorkerReport() = default;
    // Bar `bar` of the owner (0 for the first) moved to `position`.
    virtual void Progress(int bar, int position) = 0;
    // A result or a notice. A job's last Post is its last act: after it the job
    // touches nothing of its owner.
    virtual void Post(Message message, int param) = 0;
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

    // Runs `job` on a new thread with a cleared stop flag. A previous run must
    // have ended; its thread is joined first.
    void Start(Job job);

    // Sets the flag the job polls; the job ends at its next check.
    void RequestStop() { m_stop.store(true); }
    const std::atomic<bool>& StopFlag() const { return m_stop; }

    // True from Start until the job has returned.
    bool Running() const { return m_running.load(); }

    // Waits for the thread. Safe on a user-interface thread only when the job
    // cannot be waiting for that thread: it has posted its last message, or
    // every box it could wait for has been released.
    void Join();

    // Joins when the job has returned, without ever waiting; true when no
    // thread is left.
    bool JoinIfDone();

private:
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
};

}  // namespace teelink
