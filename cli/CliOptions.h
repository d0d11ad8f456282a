#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "BuildConfig.h"
#include "core/MessageTable.h"

namespace teelink {

enum class CliCommand { Devices, Info, UpdateCourse, UpdateSystem, SaveLog };

// What the command line asks for. The defaults are the build's: the window tool
// reads no options, so these are the only way to point the tool elsewhere.
struct CCliOptions {
    CliCommand command = CliCommand::Devices;
    std::string serverUrl = teelink::build::kUpdateUrl;
    // Empty: the USB bus and the compiled-in emulator bus. Set: that emulator
    // bus alone.
    std::string busDir;
    std::string devicePath;  // empty: the only device connected
    int language = LANGUAGE_ENGLISH;
    bool json = false;
    bool quiet = false;
    std::string area;     // update course: the area's code; empty for the first
    std::string logFile;  // save-log
    bool force = false;   // save-log: replace an existing file
};

// Fills `options` from argv. Returns nothing when the command is to run, or the
// exit status when parsing ended the program: 0 after --help or --version
// (printed on `out`), 2 after a usage error (printed on `err`).
std::optional<int> ParseCliOptions(int argc, const char* const argv[], CCliOptions& options,
                                   std::ostream& out, std::ostream& err);

}  // namespace teelink
