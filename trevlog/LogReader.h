#pragma once

// The marked-position log: the read worker that fetches the 64 KiB log image
// from the device, and the .trv file it is saved to.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "core/JobContext.h"
#include "core/Worker.h"
#include "trevlog/TrvFile.h"

namespace teelink {

inline constexpr uint32_t LOG_ADDRESS = 0x23000;
inline constexpr int LOG_BLOCKS = 16;
inline constexpr size_t LOG_SIZE = 65536;

enum LogMessage : int {
    WM_LOG_READ_DONE = 0x7E8,
    WM_LOG_READ_CANCELLED = 0x7E9,
    WM_LOG_READ_FAILED = 0x7F5,  // after the failure's text: the page stays until Cancel
};

// One bar (0), and the read's end.
using ILogReport = IWorkerReport<LogMessage>;

// What the log page shares with its worker.
struct CLogJob {
    std::vector<uint8_t> readBuf = std::vector<uint8_t>(LOG_SIZE);
    std::atomic<bool> m_bCancel{false};
};

// Reads the 16 blocks of the context's device into readBuf, moving bar 0; ends
// with done, cancelled (Cancel seen before a block) or failed (after the
// failure's text).
void LogReadJob(CLogJob& job, const CJobContext& context, ILogReport& report);

// The proposed file name for a local date: "TL" and yyyymmdd.
std::wstring ProposedLogName(int year, int month, int day);
std::wstring ProposedLogNameToday();

// The name a log is saved under: the chosen one, with ".trv" added when it has
// no extension.
std::filesystem::path WithLogExtension(const std::filesystem::path& chosen);

// Asks whether `path`, which exists, may be replaced, in `language`.
std::wstring ReplaceQuestion(int language, const std::wstring& path);

}  // namespace teelink
