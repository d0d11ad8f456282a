#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "core/Worker.h"
#include "update/UpdateWorkers.h"

namespace teelink {

class CDeviceList;
class CTeelinkDoc;
class IUserNotifier;

// One update run after another: the package's URL for the document's update
// mode, the download into memory, then the write to the device, each on the
// run's worker. The update page drives it from its window, the command line
// from a terminal; both learn what happens through `report`.
class CUpdateRun {
public:
    CUpdateRun(IUpdateReport& report, IUserNotifier& notifier);
    // Stops the job and waits for it: the owner must first have released every
    // box the job could be waiting for.
    ~CUpdateRun();
    CUpdateRun(const CUpdateRun&) = delete;
    CUpdateRun& operator=(const CUpdateRun&) = delete;

    // The package's URL for the document's update mode; none when there is
    // nothing to ask for (no area chosen, an unknown mode).
    static std::optional<std::string> PackageUrl(const CTeelinkDoc& doc);

    // Starts the download of the document's package. False when there is
    // nothing to ask for, or when the previous run's job has not ended.
    bool StartDownload(const CTeelinkDoc& doc);
    // Starts the write of the downloaded package (after WM_UPDATE_DOWNLOADED).
    void StartWrite(const CDeviceList& devices, const CWriteSettings& settings = {});

    // The user's Cancel: the job posts "cancelled" at its next check.
    void Cancel() { m_job.m_bCancel.store(true); }
    // The owner is going away: the job ends at its next check, an open request
    // at once, and posts nothing more that matters.
    void Stop() { m_worker.RequestStop(); }

    bool Running() const { return m_worker.Running(); }
    void Join() { m_worker.Join(); }

    const CUpdateJob& Job() const { return m_job; }

private:
    IUpdateReport& m_report;
    IUserNotifier& m_notifier;
    CUpdateJob m_job;
    // The minutes value last posted; kept from run to run.
    std::atomic<int> m_nLastRemainMinutes{0};
    CWorker m_worker;  // last: joined before the job it uses goes away
};

}  // namespace teelink
