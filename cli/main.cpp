// teelink-cli: the tool's core from a terminal or a script.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "cli/Commands.h"

namespace teelink {

namespace {

// The only state a signal handler may touch; the command's main thread polls
// it and cancels the way the window's Cancel button does.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
    g_interrupted.store(true);
    // A second Ctrl-C ends the program at once, for a device that hangs.
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace

int Main(int argc, char* argv[]) {
    CCliOptions options;
    if (const auto exit = ParseCliOptions(argc, argv, options, std::cout, std::cerr)) {
        return *exit;
    }
    // Only the commands that can stop cleanly between two blocks take Ctrl-C
    // over; the others end at once as any program does.
    if (options.command == CliCommand::UpdateCourse ||
        options.command == CliCommand::UpdateSystem || options.command == CliCommand::SaveLog) {
        std::signal(SIGINT, OnInterrupt);
    }
    CCliIo io{std::cout, std::cerr, isatty(fileno(stdout)) != 0, &g_interrupted};
    return RunCliCommand(options, io);
}

}  // namespace teelink

int main(int argc, char* argv[]) {
    return teelink::Main(argc, argv);
}
