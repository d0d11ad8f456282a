#pragma once

#include <optional>
#include <string>

#include "core/Worker.h"
#include "update/UpdateJob.h"

namespace teelink {

class CDeviceList;
class CTeelinkDoc;
class IUserNotifier;

// One update run after another, each on the run's worker: the package's URL for
// the document's update mode, the download into memory, then the write to the
// device the document identified. The update page starts it from its window,
// the command line from a terminal; both watch it through `report`, whose last
// report of each run joins the worker.
class CUpdateRun {
public:
    CUpdateRun(CDeliveringReport<UpdateMessage>& report, IUserNotifier& notifier);
    // Stops the job and waits for it: the owner must first have released every
    // box the job could be waiting for.
    ~CUpdateRun();
    CUpdateRun(const CUpdateRun&) = delete;
    CUpdateRun& operator=(const CUpdateRun&) = delete;

    // What a run for the document's update mode asks for; none when there is
    // nothing to ask for (no area chosen, an unknown mode).
    static std::optional<CUpdateOrder> OrderFor(const CTeelinkDoc& doc);

    // Starts a run for the document's update mode on the device the document
    // identified (a device that has gone fails to open). False when there is
    // nothing to ask for, or when the previous run has not ended.
    bool Start(const CTeelinkDoc& doc, const CDeviceList& devices,
               const CWriteSettings& write = {});

    // Every run from now on appends its record to `file` as `program` did it
    // (an empty file: no record).
    void SetHistory(std::string program, std::filesystem::path file) {
        m_historyProgram = std::move(program);
        m_historyFile = std::move(file);
    }

    // The user's Cancel: the run ends cancelled at its next check.
    void Cancel() { m_job.m_bCancel.store(true); }
    // The owner is going away: the job ends at its next check, an open request
    // at once, and reports nothing more. RequestStop asks without waiting; Stop
    // also waits for the job (never while it could wait for the caller's thread).
    void RequestStop() { m_worker.RequestStop(); }
    void Stop();

    bool Running() const { return m_worker.Running(); }
    uint64_t BlocksWritten() const { return m_job.m_nBlocksWritten.load(); }
    // What the last run downloaded (for tests and the benchmarks).
    const CUpdateJob& Job() const { return m_job; }

private:
    CDeliveringReport<UpdateMessage>& m_report;
    IUserNotifier& m_notifier;
    std::string m_historyProgram;
    std::filesystem::path m_historyFile;
    CUpdateJob m_job;
    CWorker m_worker;  // last: joined before the job it uses goes away
};

}  // namespace teelink
