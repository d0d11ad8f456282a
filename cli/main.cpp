// teelink-cli: the tool's core from a terminal or a script.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <iostream>

#include "cli/Commands.h"

namespace {

// The only state a signal handler may touch; the command's main thread polls
// it and cancels the way the window's Cancel button does.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
    g_interrupted.store(true);
}

void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // A second Ctrl-C ends the program at once, for a device that hangs.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
    CCliOptions options;
    if (const auto exit = ParseCliOptions(argc, argv, options, std::cout, std::cerr)) {
        return *exit;
    }
    // Only the commands that can stop cleanly between two blocks take Ctrl-C
    // over; the others end at once as any program does.
    if (options.command == CliCommand::UpdateCourse ||
        options.command == CliCommand::UpdateSystem || options.command == CliCommand::SaveLog) {
        CatchInterrupt();
    }
    CCliIo io{std::cout, std::cerr, isatty(STDOUT_FILENO) == 1, &g_interrupted};
    return RunCliCommand(options, io);
}
