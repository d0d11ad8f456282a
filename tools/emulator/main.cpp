// teelink-device-emulator: one emulated device on the emulator bus, for the
// demo, for manual testing and for tests that drive the real executable.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <thread>

#include "emulator/EmulatorOptions.h"

namespace teelink {

namespace {

void WriteInspectionFiles(const CDeviceEmulator& emulator, const CEmulatorOptions& options) {
    if (!options.memoryDumpFile.empty() && !emulator.DumpMemory(options.memoryDumpFile)) {
        std::cerr << "teelink-device-emulator: cannot write " << options.memoryDumpFile << '\n';
    }
    if (!options.commandLogFile.empty() && !emulator.WriteCommandLog(options.commandLogFile)) {
        std::cerr << "teelink-device-emulator: cannot write " << options.commandLogFile << '\n';
    }
}

}  // namespace

int Main(int argc, char* argv[]) {
    CEmulatorOptions options;
    std::string error;
    if (!ParseEmulatorOptions(argc, argv, options, error)) {
        std::cerr << "teelink-device-emulator: " << error << "\n(--help lists the options)\n";
        return 2;
    }
    if (options.help) {
        std::cout << EmulatorUsage("teelink-device-emulator");
        return 0;
    }

    // A reader of our output going away must not end the device with its
    // socket left behind.
    signal(SIGPIPE, SIG_IGN);

    // Signals are taken synchronously by this thread only, so that the socket is
    // always removed on the way out.
    sigset_t signals;
    sigemptyset(&signals);
    for (int number : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) {
        sigaddset(&signals, number);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    CDeviceEmulator emulator(options.config);
    if (!emulator.Start()) {
        std::cerr << "teelink-device-emulator: " << emulator.LastError() << '\n';
        return 1;
    }
    std::cout << "listening on " << emulator.SocketPath();
    if (!emulator.HostPath().empty()) {
        std::cout << " (the host's " << emulator.HostPath() << ")";
    }
    std::cout << std::endl;

    // A device that unplugs itself (--unplug-after) ends the program as well.
    std::thread watcher([&emulator] {
        while (!emulator.WaitFor([](const CEmulatorStatus& s) { return !s.plugged; },
                                 std::chrono::hours(24))) {
        }
        kill(getpid(), SIGUSR2);
    });

    for (;;) {
        int number = 0;
        if (sigwait(&signals, &number) != 0) {
            continue;
        }
        if (number == SIGUSR1) {
            WriteInspectionFiles(emulator, options);
            continue;
        }
        break;
    }
    emulator.Stop();
    watcher.join();
    WriteInspectionFiles(emulator, options);
    return 0;
}

}  // namespace teelink

int main(int argc, char* argv[]) {
    return teelink::Main(argc, argv);
}
