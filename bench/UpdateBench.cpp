// Course data update benchmark: the write of a package of several MiB to an
// emulated device that paces its reports like a full-speed interrupt endpoint
// (1000 us), against the bound set by the transfers the protocol needs (67 per
// block) and the fixed waits; and the peak memory against the package size plus
// its largest entry.
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <new>
#include <random>
#include <string>

#include "common/UserNotifier.h"
#include "device/DeviceList.h"
#include "device/Protocol.h"
#include "update/UpdateWorkers.h"
#include "refserver/PackageBuilder.h"

// Live bytes allocated through operator new (every std::vector of the tool), and
// their peak: resident-set figures would also count memory that earlier
// allocations left to the allocator.
namespace {
std::atomic<size_t> g_live{0};
std::atomic<size_t> g_peak{0};
}  // namespace

void* operator new(size_t size) {
    void* p = std::malloc(size + sizeof(std::max_align_t));
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    *static_cast<size_t*>(p) = size;
    const size_t live = g_live.fetch_add(size) + size;
    size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return static_cast<char*>(p) + sizeof(std::max_align_t);
}

void operator delete(void* p) noexcept {
    if (p == nullptr) {
        return;
    }
    void* block = static_cast<char*>(p) - sizeof(std::max_align_t);
    g_live.fetch_sub(*static_cast<size_t*>(block));
    std::free(block);
}

void operator delete(void* p, size_t) noexcept {
    operator delete(p);
}

namespace {

class CSilentNotifier : public IUserNotifier {
public:
    void ShowPlain(const std::string& text) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
};

class CCountingReport : public IUpdateReport {
public:
    void Progress(int bar, int) override {
        if (bar == BAR_WRITE) {
            ++positions;
        }
    }
    void Post(UpdateMessage message, int) override {
        if (message == WM_UPDATE_WRITTEN) {
            written = true;
        }
    }
    int positions = 0;
    bool written = false;
};

std::vector<uint8_t> RandomBytes(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(rng());
    }
    return bytes;
}

// The emulator runs as a process of its own, so that the memory it keeps for what
// is written does not count as the tool's.
pid_t StartEmulator(const std::string& bus, unsigned intervalUs) {
    const std::string interval = std::to_string(intervalUs);
    std::vector<std::string> args = {TEELINK_EMULATOR_EXE,   "--bus", bus, "--label", "bench",
                                     "--report-interval-us", interval};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, TEELINK_EMULATOR_EXE, nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    return pid;
}

}  // namespace

int main() {
    char templ[] = "/tmp/tlupd-XXXXXX";
    const std::string bus = mkdtemp(templ);
    constexpr unsigned kIntervalUs = 1000;
    constexpr size_t kCourseBlocks = 640;  // 2.5 MiB of course data
    constexpr size_t kVoiceBlocks = 128;

    const pid_t emulator = StartEmulator(bus, kIntervalUs);
    if (emulator < 0) {
        std::fprintf(stderr, "cannot start %s\n", TEELINK_EMULATOR_EXE);
        return 1;
    }
    CDeviceBusConfig busConfig;
    busConfig.emulatorBusDir = bus;
    busConfig.useHidapi = false;
    CDeviceList list(busConfig);
    for (int i = 0; i < 500 && EnumerateDevices(list) != 1; ++i) {
        usleep(10000);  // until the emulator listens
    }

    std::vector<uint8_t> course = CourseDataHeader("171201");
    const std::vector<uint8_t> data = RandomBytes(kCourseBlocks * BLOCK_SIZE, 1);
    course.insert(course.end(), data.begin(), data.end());
    const std::vector<uint8_t> voice = RandomBytes(kVoiceBlocks * BLOCK_SIZE - 100, 2);
    const std::vector<CPackageEntry> entries = {
        {"course", MakeEntry(0x280000, course), true},
        {"extra", MakeEntry(0x600000, voice), false},
    };
    CUpdateJob job;
    {
        const std::vector<uint8_t> archive = BuildPackage(entries);
        job.m_pPackage.assign(archive.begin(), archive.end());
        job.m_nPackageSize = static_cast<uint32_t>(archive.size());
        job.m_pPackage.resize(archive.size() + 1024);
    }
    // Start the peak count afresh, with the package in memory as after a download.
    g_peak = g_live.load();
    const size_t liveBefore = g_live.load();
    std::atomic<int> minutes{0};
    job.m_pLastRemainMinutes = &minutes;
    size_t blocks = 0;
    size_t largest = 0;
    for (const CPackageEntry& e : entries) {
        blocks += (e.content.size() + 4089) / BLOCK_SIZE;
        largest = std::max(largest, e.content.size());
    }

    CSilentNotifier notifier;
    CCountingReport report;
    const auto start = std::chrono::steady_clock::now();
    job.m_writeStart = start;
    WriteWorker(job, report, notifier, list);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const size_t peakDuring = g_peak.load() - liveBefore;

    // 67 transfers a block at one report per interval, plus 200 ms of settling
    // around each entry's device session.
    const double bound = static_cast<double>(blocks) * 67 * kIntervalUs / 1e6 +
                         static_cast<double>(entries.size()) * 0.2;
    const double package = static_cast<double>(job.m_nPackageSize) / 1024.0;
    std::printf(
        "course data update write, %zu entries, %zu blocks, package %.0f KiB, %u us interval\n",
        entries.size(), blocks, package, kIntervalUs);
    std::printf("  written: %s\n", report.written ? "yes" : "NO");
    std::printf("  measured %.3f s, bound %.3f s, ratio %.4f (tool's share %.2f %%)\n", seconds,
                bound, seconds / bound, (seconds / bound - 1) * 100);
    // The package buffer was allocated before the write began; the write adds the
    // extraction buffer of one entry at a time.
    const double expected = package + 1 + static_cast<double>(largest) / 1024.0;
    const double peak = package + 1 + static_cast<double>(peakDuring) / 1024.0;
    std::printf(
        "  peak memory %.0f KiB (package %.0f KiB + %.0f KiB during the write),\n"
        "  package + largest entry %.0f KiB, ratio %.3f\n",
        peak, package + 1, static_cast<double>(peakDuring) / 1024.0, expected, peak / expected);
    kill(emulator, SIGTERM);
    waitpid(emulator, nullptr, 0);
    std::filesystem::remove_all(bus);
    return report.written ? 0 : 1;
}
