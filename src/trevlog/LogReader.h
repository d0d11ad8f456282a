#pragma once

// The marked-position log: the read worker that fetches the 64 KiB log image
// from the device, and the .trv file it is saved to.

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

// The log has no notices of its own: only its bar (0) moves.
enum class LogNotice : int {};
using ILogReport = IWorkerReport<LogNotice>;

// The 64 KiB log image.
using LogImage = std::vector<uint8_t>;

// Reads the 16 blocks of the context's device, moving bar 0. A cancel seen
// before a block ends it Cancelled.
Result<LogImage> LogReadJob(const CJobContext& context, ILogReport& report);

// The proposed file name for a local date: "TL" and yyyymmdd.
std::wstring ProposedLogName(int year, int month, int day);
std::wstring ProposedLogNameToday();

// The name a log is saved under: the chosen one, with ".trv" added when it has
// no extension.
std::filesystem::path WithLogExtension(const std::filesystem::path& chosen);

// Asks whether `path`, which exists, may be replaced, in `language`.
std::wstring ReplaceQuestion(int language, const std::wstring& path);

}  // namespace teelink
