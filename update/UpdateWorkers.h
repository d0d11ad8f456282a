#pragma once

// The two jobs of an update run: the download of the package into memory and
// its extraction and write to the device. CUpdateRun runs them on its worker;
// tests call them directly with a recorder.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "common/ByteBuffer.h"
#include "core/Worker.h"
#include "server/ServerSettings.h"

namespace teelink {

class CDeviceList;
class IUserNotifier;

// What the workers post to their page.
enum UpdateMessage : int {
    WM_UPDATE_DOWNLOADED = 0x7EA,
    WM_UPDATE_DOWNLOAD_CANCELLED = 0x7EB,
    WM_UPDATE_DOWNLOAD_FAILED = 0x7EC,
    WM_UPDATE_WRITTEN = 0x7ED,
    WM_UPDATE_WRITE_CANCELLED = 0x7EE,
    WM_UPDATE_WRITE_FAILED = 0x7EF,
    WM_UPDATE_REMAIN_TIME = 0x7F0,
};

// The bars of an update run; positions are sent only when they change.
enum UpdateBar : int { BAR_DOWNLOAD = 0, BAR_WRITE = 1 };

using IUpdateReport = IWorkerReport<UpdateMessage>;

// Largest package and largest entry the tool takes into memory: a package far
// beyond any real course or system data set is refused rather than allowed to
// exhaust the machine's memory.
inline constexpr uint64_t MAX_PACKAGE_SIZE = 512ull << 20;
inline constexpr uint64_t MAX_ENTRY_SIZE = 256ull << 20;

// What one update run shares between the page and its workers. The page owns
// it; only one worker uses it at a time (the write worker starts after the
// download worker has posted its last message).
struct CUpdateJob {
    std::string m_strUrl;
    int m_nUpdateMode = 0;
    teelink::CByteBuffer m_pPackage;  // S + 1024 bytes after a download, S of them filled
    uint32_t m_nPackageSize = 0;
    std::atomic<bool> m_bCancel{false};  // the user pressed Cancel
    // Blocks the device has acknowledged in this write; what a cancelled write
    // leaves on the device.
    std::atomic<uint64_t> m_nBlocksWritten{0};
    // Set when the run's owner goes away (the application is closing): ends an
    // open request at once and the write before its next block.
    const std::atomic<bool>* m_pStop = nullptr;
    bool Stopping() const { return m_pStop != nullptr && m_pStop->load(); }
    std::chrono::steady_clock::time_point m_writeStart;
    // The minutes value last posted; kept for the whole process.
    std::atomic<int>* m_pLastRemainMinutes = nullptr;
};

struct CWriteSettings {
    std::chrono::milliseconds settle{100};  // wait after opening and before closing the device
};

void DownloadWorker(CUpdateJob& job, IUpdateReport& report, IUserNotifier& notifier,
                    const CServerSettings& settings = {});

void WriteWorker(CUpdateJob& job, IUpdateReport& report, IUserNotifier& notifier,
                 const CDeviceList& devices, const CWriteSettings& settings = {});

// Writes one extracted entry ("TL", address, payload) in 4096-byte blocks.
bool WritePackageEntry(const std::vector<uint8_t>& entry, uint64_t entrySize, uint64_t total,
                       uint64_t done, CUpdateJob& job, IUpdateReport& report,
                       IUserNotifier& notifier, const CDeviceList& devices,
                       const CWriteSettings& settings);

// Tells the device to start its firmware update.
bool StartSystemUpdate(const CDeviceList& devices, IUserNotifier& notifier,
                       const CWriteSettings& settings);

// Remaining minutes after `written` of `total` bytes took `elapsedSeconds`.
int RemainingMinutes(uint64_t total, uint64_t written, uint64_t elapsedSeconds);

}  // namespace teelink
