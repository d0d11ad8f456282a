#pragma once

// The job of an update run: the download of the package into memory, then its
// check, extraction and write to the device. CUpdateRun runs it on its worker;
// tests run its phases directly with a recorder.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "common/ByteBuffer.h"
#include "common/Result.h"
#include "core/JobContext.h"
#include "core/Worker.h"
#include "history/History.h"

namespace teelink {

// What the page hears of a run: the job's notices while it runs, and at its
// end the message its result stands for (EndMessage).
enum UpdateMessage : int {
    WM_UPDATE_DOWNLOADED = 0x7EA,          // notice: the write begins
    WM_UPDATE_DOWNLOAD_CANCELLED = 0x7EB,  // end
    WM_UPDATE_DOWNLOAD_FAILED = 0x7EC,     // end, after the failure's texts
    WM_UPDATE_WRITTEN = 0x7ED,             // end
    WM_UPDATE_WRITE_CANCELLED = 0x7EE,     // notice: the write failure follows
    WM_UPDATE_WRITE_FAILED = 0x7EF,        // end, after the failure's texts
    WM_UPDATE_REMAIN_TIME = 0x7F0,         // notice: the estimate in minutes changed
    // Only when the order asks for the read-back check (the command line's --verify):
    WM_UPDATE_VERIFYING = 0x7F1,      // notice: every block is written, the read-back begins
    WM_UPDATE_VERIFY_FAILED = 0x7F2,  // end, after the texts: a block read back differs
    WM_UPDATE_NOT_VERIFIED = 0x7F3,   // end, after the texts: the device refused the read-back
};

// How far a run got: what its end means depends on it.
enum class UpdatePhase : int { Download, Check, Write, Verify, Start };

// The bars of an update run; positions are sent only when they change.
enum UpdateBar : int { BAR_DOWNLOAD = 0, BAR_WRITE = 1, BAR_VERIFY = 2 };

using IUpdateReport = IWorkerReport<UpdateMessage>;

// Largest package and largest entry the tool takes into memory: a package far
// beyond any real course or system data set is refused rather than allowed to
// exhaust the machine's memory.
inline constexpr uint64_t MAX_PACKAGE_SIZE = 512ull << 20;
inline constexpr uint64_t MAX_ENTRY_SIZE = 256ull << 20;

struct CWriteSettings {
    std::chrono::milliseconds settle{100};  // wait after opening and before closing the device
    // Read every written block back and compare it before the run counts as
    // written (and before a system update's firmware start).
    bool verify = false;
};

// What one run is asked to do.
struct CUpdateOrder {
    std::string url;  // the package's request
    int mode = 0;     // UPDATE_COURSE_DATA, UPDATE_SYSTEM_DATA or UPDATE_FAVORITE_DATA
    CWriteSettings write;
    // Where the run's record goes (none when empty), and what it knows from
    // the start: the program, the operation, the device as it was.
    std::filesystem::path historyFile;
    CHistoryRecord history;
};

// What the job works on; it belongs to the run, and only its job writes it
// while the job runs.
struct CUpdateJob {
    teelink::CByteBuffer m_pPackage;  // S + 1024 bytes after a download, S of them filled
    uint32_t m_nPackageSize = 0;
    std::atomic<UpdatePhase> m_phase{UpdatePhase::Download};
    // Blocks the device has acknowledged in this write; what a cancelled write
    // leaves on the device.
    std::atomic<uint64_t> m_nBlocksWritten{0};
    // Bytes the check before the write has inflated in this run; how far a
    // check got before Cancel or stop ended it.
    std::atomic<uint64_t> m_nBytesChecked{0};
    // The package's entries and blocks, once its check has passed.
    std::atomic<uint64_t> m_nEntries{0};
    std::atomic<uint64_t> m_nBlocksTotal{0};
    // Why the run's record could not be written (empty when it was, or none
    // was asked for); the owner says it in one line.
    std::string m_strHistoryWarning;
    std::chrono::steady_clock::time_point m_writeStart;
    // The minutes value last posted; kept from run to run.
    std::atomic<int> m_nLastRemainMinutes{0};
};

// The download phase. On success it posts WM_UPDATE_DOWNLOADED.
Status DownloadJob(CUpdateJob& job, const CUpdateOrder& order, const CJobContext& context,
                   IUpdateReport& report);

// The write phase: every entry checked, then written (and read back when the
// order asks for it); the firmware start after system data. The estimate
// measures from job.m_writeStart. A cancel of the write posts
// WM_UPDATE_WRITE_CANCELLED before it returns.
Status WriteJob(CUpdateJob& job, const CUpdateOrder& order, const CJobContext& context,
                IUpdateReport& report);

// Both phases, one after the other: the whole run, with its history record.
Status UpdateJob(CUpdateJob& job, const CUpdateOrder& order, const CJobContext& context,
                 IUpdateReport& report);

// The message a run's end stands for, given the phase it reached: a cancel
// before the first block is a cancelled download; a failed firmware start
// still leaves the run written (its texts are shown).
UpdateMessage EndMessage(const Status& end, UpdatePhase phase);

// Remaining minutes after `written` of `total` bytes took `elapsedSeconds`.
int RemainingMinutes(uint64_t total, uint64_t written, uint64_t elapsedSeconds);

}  // namespace teelink
