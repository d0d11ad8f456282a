// Course data update benchmark: the write of a package of several MiB to an
// emulated device that paces its reports like a full-speed interrupt endpoint
// (1000 us), against the bound set by the transfers the protocol needs (67 per
// block) and the fixed waits; and the peak memory against the package size plus
// its largest entry.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/UserNotifier.h"
#include "device/DeviceList.h"
#include "device/Protocol.h"
#include "emulator/DeviceEmulator.h"
#include "pages/update/UpdateWorkers.h"
#include "refserver/PackageBuilder.h"

namespace {

class CSilentNotifier : public IUserNotifier {
public:
    void ShowPlain(const std::string& text) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
};

class CCountingReport : public IUpdateReport {
public:
    void SetDownloadPosition(int) override {}
    void SetWritePosition(int) override { ++positions; }
    void Post(UpdateMessage message, int) override {
        if (message == WM_UPDATE_WRITTEN) {
            written = true;
        }
    }
    int positions = 0;
    bool written = false;
};

// A line of /proc/self/status in KiB: VmRSS (now) or VmHWM (peak).
long StatusKiB(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == name) {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 10, '\n');
    }
    return -1;
}

std::vector<uint8_t> RandomBytes(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(rng());
    }
    return bytes;
}

}  // namespace

int main() {
    char templ[] = "/tmp/tlupd-XXXXXX";
    const std::string bus = mkdtemp(templ);
    constexpr unsigned kIntervalUs = 1000;
    constexpr size_t kCourseBlocks = 640;  // 2.5 MiB of course data
    constexpr size_t kVoiceBlocks = 128;

    CEmulatorConfig config = DefaultEmulatorConfig(bus);
    config.reportIntervalUs = kIntervalUs;
    CDeviceEmulator device(config);
    if (!device.Start()) {
        std::fprintf(stderr, "emulator: %s\n", device.LastError().c_str());
        return 1;
    }
    CDeviceBusConfig busConfig;
    busConfig.emulatorBusDir = bus;
    busConfig.useHidapi = false;
    CDeviceList list(busConfig);
    EnumerateDevices(list);

    std::vector<uint8_t> course = CourseDataHeader("171201");
    const std::vector<uint8_t> data = RandomBytes(kCourseBlocks * BLOCK_SIZE, 1);
    course.insert(course.end(), data.begin(), data.end());
    const std::vector<uint8_t> voice = RandomBytes(kVoiceBlocks * BLOCK_SIZE - 100, 2);
    const std::vector<CPackageEntry> entries = {
        {"course", MakeEntry(0x280000, course), true},
        {"extra", MakeEntry(0x600000, voice), false},
    };
    const long rssBase = StatusKiB("VmRSS:");
    CUpdateJob job;
    {
        const std::vector<uint8_t> archive = BuildPackage(entries);
        job.m_pPackage = archive;
        job.m_nPackageSize = static_cast<uint32_t>(archive.size());
        job.m_pPackage.resize(archive.size() + 1024);
    }
    // Start the peak count afresh: the archive's temporary copy is gone.
    std::ofstream("/proc/self/clear_refs") << "5";
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
    const long rssPeak = StatusKiB("VmHWM:");

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
    const double expected = package + 1 + static_cast<double>(largest) / 1024.0;
    std::printf(
        "  peak memory %ld KiB over the start, package + largest entry %.0f KiB, ratio %.3f\n",
        rssPeak - rssBase, expected, static_cast<double>(rssPeak - rssBase) / expected);
    device.Stop();
    std::filesystem::remove_all(bus);
    return report.written ? 0 : 1;
}
