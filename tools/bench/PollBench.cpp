// Main page polling benchmark: the cost of one polling tick's device work with
// no device, with one device already shown, and with ten devices present, as
// CPU time of the polling thread per tick (median of many) against the
// one-second period.
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "device/DeviceList.h"
#include "emulator/DeviceEmulator.h"
#include "identity/DevicePolling.h"

namespace teelink {

namespace {

double ThreadCpuMicroseconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

double WallMicroseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

struct TickTimes {
    double cpuMedian;
    double wallMedian;
};

// A tick's device work: enumerate, decide; the display refresh of a shown
// device reads only document fields.
TickTimes MeasureTicks(CDeviceList& list, CPollState& state, int ticks) {
    std::vector<double> cpu;
    std::vector<double> wall;
    for (int i = 0; i < ticks; ++i) {
        const double c0 = ThreadCpuMicroseconds();
        const double w0 = WallMicroseconds();
        const int count = list.Enumerate();
        const std::string path = count == 1 ? list.Found().front().Path() : std::string();
        const PollAction action = state.Decide(count, path, path);
        state.Apply(action == PollAction::IdentifyDevice ? PollAction::RefreshDevice : action);
        cpu.push_back(ThreadCpuMicroseconds() - c0);
        wall.push_back(WallMicroseconds() - w0);
    }
    std::nth_element(cpu.begin(), cpu.begin() + ticks / 2, cpu.end());
    std::nth_element(wall.begin(), wall.begin() + ticks / 2, wall.end());
    return {cpu[static_cast<size_t>(ticks / 2)], wall[static_cast<size_t>(ticks / 2)]};
}

}  // namespace

int Main() {
    char templ[] = "/tmp/tlpoll-XXXXXX";
    const std::string bus = mkdtemp(templ);
    constexpr int kTicks = 2000;
    constexpr double kPeriodUs = 1e6;
    // Real HID devices are enumerated too, as in the product.
    CDeviceBusConfig config;
    config.emulatorBusDir = bus;
    CDeviceList list(config);
    CPollState state;
    std::vector<std::unique_ptr<CDeviceEmulator>> devices;
    auto plug = [&](int n) {
        while (static_cast<int>(devices.size()) < n) {
            CEmulatorConfig c = DefaultEmulatorConfig(bus);
            c.label = "bench" + std::to_string(devices.size());
            devices.push_back(std::make_unique<CDeviceEmulator>(c));
            devices.back()->Start();
        }
    };

    std::printf(
        "polling tick, median of %d ticks (thread CPU / wall), against the %.0f ms period\n",
        kTicks, kPeriodUs / 1000);
    std::printf("%-28s %12s %12s %14s\n", "case", "cpu us", "wall us", "cpu / period");
    for (int n : {0, 1, 10}) {
        plug(n);
        state.m_bDeviceShown = n == 1;
        const TickTimes r = MeasureTicks(list, state, kTicks);
        const char* name = n == 0   ? "no device"
                           : n == 1 ? "one device already shown"
                                    : "ten devices";
        std::printf("%-28s %12.1f %12.1f %14.6f\n", name, r.cpuMedian, r.wallMedian,
                    r.cpuMedian / kPeriodUs);
    }
    devices.clear();
    std::filesystem::remove_all(bus);
    return 0;
}

}  // namespace teelink

int main() {
    return teelink::Main();
}
