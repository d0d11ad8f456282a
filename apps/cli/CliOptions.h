#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "BuildConfig.h"
#include "core/MessageTable.h"

namespace teelink {

enum class CliCommand { Devices, Info, UpdateCourse, UpdateSystem, SaveLog, History, Doctor, Help };

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
    std::string area;       // update course: the area's code; empty for the first
    std::string logFile;    // save-log
    bool force = false;     // save-log: replace an existing file
    bool yes = false;       // update system: no question on a terminal
    bool verify = false;    // update: read every written block back and compare it
    std::string proxyUrl;   // --proxy: this proxy for every request
    bool noProxy = false;   // --no-proxy: no proxy for any request
    std::string helpTopic;  // help: the command to explain; empty for all
};

// The message language of a locale's environment (LC_ALL, LC_MESSAGES, LANG, the
// first one set): Japanese, Korean, Chinese in its simplified or traditional
// script, and English for everything else.
int LanguageFromLocale(const char* lcAll, const char* lcMessages, const char* lang);

// Fills `options` from argv; --language defaults from the environment's locale.
// Returns nothing when the command is to run, or the exit status when parsing
// ended the program: 0 after --help, `help` or --version (printed on `out`), 2
// after a usage error (printed on `err`).
std::optional<int> ParseCliOptions(int argc, const char* const argv[], CCliOptions& options,
                                   std::ostream& out, std::ostream& err);

}  // namespace teelink
