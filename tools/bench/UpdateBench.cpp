// Course data update benchmark: the write of a 3 MiB package to an emulated
// device that paces its reports like a full-speed interrupt endpoint (1000 us),
// against the bound set by the transfers the protocol needs (67 per block) and
// the fixed waits; and the peak memory over the idle level against the package
// size plus its largest entry.
#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <string_view>

#include "bench/ProcessMemory.h"
#include "common/Text.h"
#include "common/UserNotifier.h"
#include "device/DeviceList.h"
#include "device/Protocol.h"
#include "refserver/PackageBuilder.h"
#include "update/UpdateJob.h"

namespace teelink {

// Live bytes on the heap and their peak, counted where every library's memory
// passes (the tool's containers, the unpacking library, the C library itself):
// malloc and its relatives, forwarded to the C library's own entry points.
// Sanitizers bring allocators of their own; there only the resident-set figure
// is printed.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TEELINK_COUNT_HEAP 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define TEELINK_COUNT_HEAP 0
#endif
#endif
#ifndef TEELINK_COUNT_HEAP
#define TEELINK_COUNT_HEAP 1
#endif

namespace {
std::atomic<size_t> g_live{0};
std::atomic<size_t> g_peak{0};
}  // namespace

#if TEELINK_COUNT_HEAP
extern "C" {
void* __libc_malloc(size_t size);
void __libc_free(void* p);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {

void Counted(void* p) {
    if (p == nullptr) {
        return;
    }
    const size_t size = malloc_usable_size(p);
    const size_t live = g_live.fetch_add(size, std::memory_order_relaxed) + size;
    size_t peak = g_peak.load(std::memory_order_relaxed);
    while (live > peak && !g_peak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
}

void Uncounted(void* p) {
    if (p != nullptr) {
        g_live.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
    }
}

}  // namespace

extern "C" void* malloc(size_t size) noexcept {
    void* p = __libc_malloc(size);
    Counted(p);
    return p;
}

extern "C" void free(void* p) noexcept {
    Uncounted(p);
    __libc_free(p);
}

extern "C" void* calloc(size_t count, size_t size) noexcept {
    void* p = __libc_calloc(count, size);
    Counted(p);
    return p;
}

extern "C" void* realloc(void* p, size_t size) noexcept {
    const size_t before = p != nullptr ? malloc_usable_size(p) : 0;
    void* q = __libc_realloc(p, size);
    if (q != nullptr) {
        g_live.fetch_sub(before, std::memory_order_relaxed);
        Counted(q);
    } else if (size == 0) {
        g_live.fetch_sub(before, std::memory_order_relaxed);  // freed
    }
    return q;
}

extern "C" void* memalign(size_t alignment, size_t size) noexcept {
    void* p = __libc_memalign(alignment, size);
    Counted(p);
    return p;
}

extern "C" void* aligned_alloc(size_t alignment, size_t size) noexcept {
    return memalign(alignment, size);
}

extern "C" int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    void* p = memalign(alignment, size);
    if (p == nullptr) {
        return ENOMEM;
    }
    *out = p;
    return 0;
}
#endif

namespace {

class CCountingReport : public IUpdateReport {
public:
    void Progress(int bar, int) override {
        if (bar == BAR_WRITE) {
            ++positions;
        }
    }
    void Post(UpdateMessage, int) override {}
    int positions = 0;
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

namespace {

constexpr unsigned kIntervalUs = 1000;

// A course data package: 2.5 MiB of course data with its header, and a
// second, stored entry.
std::vector<CPackageEntry> PackageEntries() {
    constexpr size_t kCourseBlocks = 640;
    constexpr size_t kVoiceBlocks = 128;
    std::vector<uint8_t> course = CourseDataHeader("171201");
    const std::vector<uint8_t> data = RandomBytes(kCourseBlocks * BLOCK_SIZE, 1);
    course.insert(course.end(), data.begin(), data.end());
    const std::vector<uint8_t> voice = RandomBytes(kVoiceBlocks * BLOCK_SIZE - 100, 2);
    return {{"course", MakeEntry(0x280000, course), true},
            {"extra", MakeEntry(0x600000, voice), false}};
}

// What one write measured.
struct CWriteMeasure {
    bool written = false;
    double seconds = 0;
    size_t heapIdle = 0, heapWithPackage = 0, heapPeak = 0;
    long residentIdleKiB = -1, residentPeakKiB = -1;
    bool residentPeakReset = false;
    double packageMiB = 0;
};

CWriteMeasure MeasureWrite(const CDevice& device, const std::vector<CPackageEntry>& entries) {
    CWriteMeasure m;
    // Idle: the tool with its inputs, before a package exists.
    m.heapIdle = g_live.load();
    m.residentIdleKiB = bench::StatusKiB("VmRSS");
    CUpdateJob job;
    {
        const std::vector<uint8_t> archive = BuildPackage(entries);
        // One allocation of S + 1024 bytes, as the download makes it.
        job.m_pPackage.resize(archive.size() + 1024);
        std::copy(archive.begin(), archive.end(), job.m_pPackage.begin());
        job.m_nPackageSize = static_cast<uint32_t>(archive.size());
    }
    m.packageMiB = static_cast<double>(job.m_nPackageSize) / (1 << 20);
    // Start the peak counts afresh, with the package in memory as after a
    // download: building it here is no part of the update.
    g_peak = g_live.load();
    m.heapWithPackage = g_live.load();
    m.residentPeakReset = bench::ResetPeakResident();
    CCountingReport report;
    const auto start = std::chrono::steady_clock::now();
    job.m_writeStart = start;
    const CStopSource stop;
    const Status written = WriteJob(job, CUpdateOrder{}, CJobContext{device, {}, stop}, report);
    if (!written) {
        for (const std::string& text : written.Failure().Texts()) {
            std::fprintf(stderr, "message: %s\n", text.c_str());
        }
    }
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.heapPeak = g_peak.load();
    m.residentPeakKiB = bench::StatusKiB("VmHWM");
    m.written = written.Ok();
    return m;
}

void PrintWrite(const CWriteMeasure& m, const std::vector<CPackageEntry>& entries) {
    size_t blocks = 0;
    size_t largest = 0;
    for (const CPackageEntry& e : entries) {
        blocks += (e.content.size() + 4089) / BLOCK_SIZE;
        largest = std::max(largest, e.content.size());
    }
    // 67 transfers a block at one report per interval, plus 200 ms of settling
    // around each entry's device session.
    const double bound = static_cast<double>(blocks) * 67 * kIntervalUs / 1e6 +
                         static_cast<double>(entries.size()) * 0.2;
    const double largestMiB = static_cast<double>(largest) / (1 << 20);
    constexpr double kWriteGoal = 1.01;
    const double memoryGoalMiB = m.packageMiB + largestMiB + 2.0;
    std::printf(
        "course data update write, %zu entries, %zu blocks, package S = %.2f MiB, "
        "largest entry %.2f MiB, %u us interval\n",
        entries.size(), blocks, m.packageMiB, largestMiB, kIntervalUs);
    std::printf("  written: %s\n", m.written ? "yes" : "NO");
    const double writeRatio = m.seconds / bound;
    std::printf(
        "  write time %.3f s, protocol bound %.3f s (67 transfers a block + 200 ms an entry)\n",
        m.seconds, bound);
    std::printf("  ratio write time / bound: %.4f   goal <= %.2f   %s\n", writeRatio, kWriteGoal,
                writeRatio <= kWriteGoal ? "met" : "NOT MET");
    const auto printMemory = [&](const char* what, double overIdleMiB) {
        std::printf(
            "  peak memory over idle, %s: %.2f MiB   goal <= S + largest + 2 MiB = %.2f MiB"
            "   %s\n",
            what, overIdleMiB, memoryGoalMiB, overIdleMiB <= memoryGoalMiB ? "met" : "NOT MET");
    };
#if TEELINK_COUNT_HEAP
    std::printf(
        "  heap (every malloc): package buffer %.2f MiB, the write added at most %.2f MiB\n",
        static_cast<double>(m.heapWithPackage - m.heapIdle) / (1 << 20),
        static_cast<double>(m.heapPeak - m.heapWithPackage) / (1 << 20));
    printMemory("heap (every malloc)", static_cast<double>(m.heapPeak - m.heapIdle) / (1 << 20));
#else
    std::printf("  heap not counted: a sanitizer owns malloc in this build\n");
#endif
    if (m.residentPeakReset && m.residentIdleKiB >= 0 && m.residentPeakKiB >= 0) {
        printMemory("resident set (VmHWM - idle VmRSS)",
                    static_cast<double>(m.residentPeakKiB - m.residentIdleKiB) / 1024.0);
    } else {
        std::printf("  peak resident set not measurable (/proc/self/clear_refs not writable)\n");
    }
}

}  // namespace

int Main() {
    char templ[] = "/tmp/tlupd-XXXXXX";
    const std::string bus = mkdtemp(templ);
    const pid_t emulator = StartEmulator(bus, kIntervalUs);
    if (emulator < 0) {
        std::fprintf(stderr, "cannot start %s\n", TEELINK_EMULATOR_EXE);
        return 1;
    }
    CDeviceBusConfig busConfig;
    busConfig.emulatorBusDir = bus;
    busConfig.useHidapi = false;
    CDeviceList list(busConfig);
    for (int i = 0; i < 500 && list.Enumerate() != 1; ++i) {
        usleep(10000);  // until the emulator listens
    }
    const std::vector<CPackageEntry> entries = PackageEntries();
    const CWriteMeasure m =
        list.Count() == 1 ? MeasureWrite(list.Found().front(), entries) : CWriteMeasure{};
    PrintWrite(m, entries);
    kill(emulator, SIGTERM);
    waitpid(emulator, nullptr, 0);
    std::filesystem::remove_all(bus);
    return m.written ? 0 : 1;
}

}  // namespace teelink

int main() {
    return teelink::Main();
}
