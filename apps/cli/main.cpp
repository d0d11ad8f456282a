// teelink-cli: the tool's core from a terminal or a script.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <poll.h>
#include <unistd.h>
#endif

#include "cli/Commands.h"

namespace teelink {

namespace {

// The only state a signal handler may touch; the command's main thread polls
// it and cancels the way the window's Cancel button does.
std::atomic<bool> g_interrupted{false};
std::atomic<int> g_signal{0};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int number) {
    g_signal.store(number);
    g_interrupted.store(true);
#ifdef _WIN32
    // A second one ends the program at once, for a device that hangs.
    std::signal(number, SIG_DFL);
#endif
}

// The signals that stop a device operation between two blocks: Ctrl-C, a
// polite kill and (where there is one) a closed terminal.
void TakeStopSignals() {
#ifdef _WIN32
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
#else
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: a second signal ends the program at once, for a device
    // that hangs.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(number, &action, nullptr);
    }
#endif
}

#ifndef _WIN32
// Whether a line can be read from standard input within `limit`. The question
// waits here rather than in a read: a signal that comes just before a read
// would leave the read waiting, while this wait looks at the flag again.
bool InputReady(std::chrono::milliseconds limit) {
    pollfd entry{STDIN_FILENO, POLLIN, 0};
    return ::poll(&entry, 1, static_cast<int>(limit.count())) > 0;
}
#endif

}  // namespace

int Main(int argc, char* argv[]) {
#ifndef _WIN32
    // A reader that goes away (a pipe into `head`) must not end the program in
    // the middle of a device write: the writes to it fail instead.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    CCliOptions options;
    if (const auto exit = ParseCliOptions(argc, argv, options, std::cout, std::cerr)) {
        return *exit;
    }
    // Only the commands that can stop cleanly between two blocks take the
    // signals over; the others end at once as any program does.
    if (options.command == CliCommand::UpdateCourse ||
        options.command == CliCommand::UpdateSystem || options.command == CliCommand::SaveLog) {
        TakeStopSignals();
    }
    CCliIo io{std::cout, std::cerr, std::cin};
    io.terminal = isatty(fileno(stdout)) != 0;
    io.inputTerminal = isatty(fileno(stdin)) != 0;
    io.interrupted = &g_interrupted;
    io.signal = &g_signal;
#ifndef _WIN32
    io.inputReady = InputReady;
#endif
    return RunCliCommand(options, io);
}

}  // namespace teelink

int main(int argc, char* argv[]) {
    return teelink::Main(argc, argv);
}
