#pragma once

// The update history: one record for every update and every log save, by
// either program, appended to a file in the user's state directory, so that a
// device that misbehaves later can be traced to what the tool wrote to it.
//
// One record is one line of tab-separated key=value fields (tabs, line breaks
// and backslashes in values escaped), written with one append and flushed to
// the disk: a crash in the middle leaves at most its own line cut short, and
// every earlier record whole. The file is bounded: past its size limit it is
// renamed to the one old generation kept (history.1), and a new one begins.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Result.h"

namespace teelink {

struct CHistoryRecord {
    std::chrono::system_clock::time_point time;
    std::string program;    // "teelink" or "teelink-cli"
    std::string operation;  // "course update", "system update", "favourites update", "log save"
    // The device as it was before.
    std::string model;
    std::string hardware;
    std::string systemVersion;
    std::string courseDate;
    // What was written (an update) or saved (a log: the file).
    uint64_t packageBytes = 0;
    std::string packageSha256;
    uint64_t entries = 0;
    uint64_t blocksWritten = 0;
    uint64_t blocksTotal = 0;
    std::string file;                // a log save's file
    std::string result;              // "ok", "failed", "cancelled", "stopped"
    std::vector<std::string> texts;  // what the user was told, in order
};

// "2026-12-09T10:20:31Z"
std::string IsoUtc(std::chrono::system_clock::time_point time);

// The record's line (without its line break), and back; a line that is not a
// whole record (one cut short by a crash) gives false.
std::string FormatHistoryLine(const CHistoryRecord& record);
bool ParseHistoryLine(const std::string& line, CHistoryRecord& record);

class CHistoryFile {
public:
    explicit CHistoryFile(std::filesystem::path path, uint64_t maxBytes = 1 << 20)
        : m_path(std::move(path)), m_maxBytes(maxBytes) {}

    // $XDG_STATE_HOME/teelink/history.log, else ~/.local/state/teelink/history.log;
    // %LOCALAPPDATA%\Teelink\history.log on Windows. Empty when none can be named.
    static std::filesystem::path DefaultPath();

    const std::filesystem::path& Path() const { return m_path; }
    // Appends one record (making the folder if needed, rotating first when the
    // file has reached its limit). A failure says why; it never fails an update.
    Status Append(const CHistoryRecord& record) const;
    // The records of the old generation and then the current one, oldest first;
    // lines that are no whole record are skipped and counted in `skipped`.
    std::vector<CHistoryRecord> Read(size_t* skipped = nullptr) const;

private:
    std::filesystem::path m_path;
    uint64_t m_maxBytes;
};

}  // namespace teelink
