#pragma once

#include <optional>
#include <string>

#include "core/JobRunner.h"
#include "update/UpdateJob.h"

namespace teelink {

class CDeviceList;
class CTeelinkDoc;
class IUserNotifier;

// One update run after another, each on the run's worker: the package's URL for
// the document's update mode, the download into memory, then the write to the
// device the document identified. The update page starts it from its window,
// the command line from a terminal; both hear its notices through `report`
// and its end, on their own thread, through `onEnd`, after the failure's
// texts have gone to `notifier`.
class CUpdateRun {
public:
    using EndHandler = std::function<void(UpdateMessage end)>;

    CUpdateRun(IUpdateReport& report, IOwnerThread& owner, IUserNotifier& notifier,
               EndHandler onEnd);
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
    void Cancel() { m_runner.Cancel(); }
    // The owner is going away: the job ends at its next check, an open request
    // at once, and reports nothing more. RequestStop asks without waiting; Stop
    // also waits for the job.
    void RequestStop() { m_runner.Stop(); }
    void Stop() { m_runner.StopAndWait(); }

    bool Running() const { return m_runner.Running(); }
    uint64_t BlocksWritten() const { return m_job.m_nBlocksWritten.load(); }
    // What the last run downloaded (for tests and the benchmarks).
    const CUpdateJob& Job() const { return m_job; }

private:
    IUpdateReport& m_report;
    EndHandler m_onEnd;
    std::string m_historyProgram;
    std::filesystem::path m_historyFile;
    CUpdateJob m_job;
    CJobRunner<void> m_runner;  // last: joined before the job it uses goes away
};

}  // namespace teelink
