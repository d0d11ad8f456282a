// Device link benchmark: what the tool's transfer layers cost per report
// against a bare client that moves the same reports over a socket set up as
// the tool's transport sets up its own, and how close a paced device gets to
// its report-rate bound. Prints ratios measured side by side in one run.
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/CallCounts.h"
#include "common/ByteOrder.h"
#include "common/Text.h"
#include "common/UserNotifier.h"
#include "device/DeviceChannel.h"
#include "device/Protocol.h"
#include "emulator/DeviceEmulator.h"

namespace teelink {

namespace {

using Clock = std::chrono::steady_clock;

// The least a device can do: answers block reads and writes at once, without
// memory, pacing or logging, so the tool's side is what is measured.
class CBareDevice {
public:
    explicit CBareDevice(const std::string& busDir) : m_path(busDir + "/hid-0483-5750-bare.sock") {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", m_path.c_str());
        m_listen = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_listen, 4) != 0) {
            std::perror("bare device");
            std::exit(1);
        }
        m_thread = std::thread([this] { Accept(); });
    }
    // Every client must have closed its connection before.
    ~CBareDevice() {
        shutdown(m_listen, SHUT_RDWR);
        m_thread.join();
        for (std::thread& connection : m_connections) {
            connection.join();
        }
        close(m_listen);
        unlink(m_path.c_str());
    }
    const std::string& SocketPath() const { return m_path; }

private:
    // A thread per connection, so that the bare client and the tool can stay
    // connected side by side while their repetitions alternate.
    void Accept() {
        for (;;) {
            const int fd = accept(m_listen, nullptr, nullptr);
            if (fd < 0) {
                return;
            }
            m_connections.emplace_back([fd] { Serve(fd); });
        }
    }

    static void Serve(int fd) {
        uint8_t message[REPORT_SIZE];
        uint8_t ack[REPORT_SIZE] = {};
        teelink::StoreLe32(ack + 1, ACK_WORD);
        uint8_t piece[REPORT_SIZE] = {};
        while (recv(fd, message, sizeof message, 0) == static_cast<ssize_t>(REPORT_SIZE)) {
            const uint32_t word = teelink::LoadLe32(message + 1);
            send(fd, ack, sizeof ack, MSG_NOSIGNAL);
            const bool write = word == CommandWord(CMD_WRITE_BLOCK);
            for (size_t k = 0; k < PAYLOADS_PER_BLOCK; ++k) {
                if (write) {
                    recv(fd, message, sizeof message, 0);
                } else {
                    send(fd, piece, sizeof piece, MSG_NOSIGNAL);
                }
            }
            if (write) {
                send(fd, ack, sizeof ack, MSG_NOSIGNAL);
            }
        }
        close(fd);
    }

    std::string m_path;
    int m_listen = -1;
    std::thread m_thread;
    std::vector<std::thread> m_connections;  // touched by the accepting thread only
};

// A client with nothing of the tool in it, on a socket set up as the tool's
// transport sets up its own (non-blocking, a 4096-byte send buffer) and moving
// reports the same way: a transfer is tried at once, and waited for with poll
// only when it cannot proceed. What the tool adds on top is what is measured.
class CBareClient {
public:
    explicit CBareClient(const std::string& socketPath) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
        m_fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            std::perror("bare client");
            std::exit(1);
        }
        const int sendBuffer = 4096;
        setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    }
    ~CBareClient() { close(m_fd); }

    void ReadBlock(uint32_t address = 0) {
        uint8_t message[REPORT_SIZE] = {};
        teelink::StoreLe32(message + 1, CommandWord(CMD_READ_BLOCK));
        teelink::StoreLe32(message + 5, address);
        Send(message);
        for (size_t k = 0; k < PAYLOADS_PER_BLOCK + 1; ++k) {
            Receive(message);
        }
    }
    // Without a block the bare device's answers are all it takes; with one, a
    // real device gets its address, sum and payloads.
    void WriteBlock(uint32_t address = 0, const uint8_t* block = nullptr) {
        uint8_t message[REPORT_SIZE] = {};
        teelink::StoreLe32(message + 1, CommandWord(CMD_WRITE_BLOCK));
        if (block != nullptr) {
            teelink::StoreLe32(message + 5, address);
            teelink::StoreLe32(message + 9, BlockChecksum(block));
        }
        Send(message);
        Receive(message);
        for (size_t k = 0; k < PAYLOADS_PER_BLOCK; ++k) {
            if (block != nullptr) {
                std::memcpy(message + 1, block + k * REPORT_PAYLOAD_SIZE, REPORT_PAYLOAD_SIZE);
            }
            Send(message);
        }
        Receive(message);
    }

private:
    void Send(const uint8_t* message) {
        while (send(m_fd, message, REPORT_SIZE, MSG_DONTWAIT | MSG_NOSIGNAL) < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                Fail("send");
            }
            Wait(POLLOUT);
        }
    }
    void Receive(uint8_t* message) {
        for (;;) {
            const ssize_t got = recv(m_fd, message, REPORT_SIZE, MSG_DONTWAIT | MSG_TRUNC);
            if (got == static_cast<ssize_t>(REPORT_SIZE)) {
                return;
            }
            if (got >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                Fail("recv");
            }
            Wait(POLLIN);
        }
    }
    void Wait(short events) const {
        pollfd entry{m_fd, events, 0};
        poll(&entry, 1, 5000);
    }
    [[noreturn]] static void Fail(const char* what) {
        std::perror(what);
        std::exit(1);
    }

    int m_fd = -1;
};

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double SecondsFor(int repetitions, const std::function<void()>& work) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < repetitions; ++i) {
        work();
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Repetitions of each row, alternated, and the median taken: a shared machine
// disturbs some of them, rarely the middle one.
constexpr int kRepetitions = 11;
// The tool's cost per transfer may exceed the bare client's by this much.
constexpr double kTransferGoal = 1.10;

struct Measure {
    const char* label;
    std::vector<double> seconds;     // one per repetition
    std::vector<double> cpuSeconds;  // the client thread's CPU time, one per repetition
    int blocks;
    int transfersPerBlock;
    // Over every timed repetition, in the client's thread.
    uint64_t systemCalls = 0;
    uint64_t allocations = 0;

    double Median() const {
        std::vector<double> sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
    double MicrosPerTransfer() const { return Median() * 1e6 / (blocks * transfersPerBlock); }
    double Reports() const {
        return static_cast<double>(seconds.size()) * blocks * transfersPerBlock;
    }
    double SystemCallsPerReport() const { return static_cast<double>(systemCalls) / Reports(); }
    double AllocationsPerReport() const { return static_cast<double>(allocations) / Reports(); }
    double CpuMicrosPerTransfer() const {
        std::vector<double> sorted = cpuSeconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2] * 1e6 / (blocks * transfersPerBlock);
    }
};

void PrintRow(const Measure& m, const Measure& baseline) {
    std::printf(
        "  %-26s %7.1f us/block %6.2f us/transfer (client CPU %5.2f us) %8.0f/s  x%.3f"
        "   %.2f system calls, %.3f allocations per report\n",
        m.label, m.Median() * 1e6 / m.blocks, m.MicrosPerTransfer(), m.CpuMicrosPerTransfer(),
        m.blocks * m.transfersPerBlock / m.Median(),
        m.MicrosPerTransfer() / baseline.MicrosPerTransfer(), m.SystemCallsPerReport(),
        m.AllocationsPerReport());
}

// What a busy machine cannot move: the calls the client makes per report.
void PrintCallGoals(const char* what, const Measure& tool, const Measure& bare) {
    const double ratio = tool.SystemCallsPerReport() / bare.SystemCallsPerReport();
    std::printf(
        "  ratio %-6s tool / bare client, system calls per report: %.3f (%.2f / %.2f)"
        "   goal <= 1.00   %s\n",
        what, ratio, tool.SystemCallsPerReport(), bare.SystemCallsPerReport(),
        ratio <= 1.0 + 1e-9 ? "met" : "NOT MET");
    std::printf(
        "  %-12s tool's heap allocations per report: %.4f (%llu in %.0f reports)"
        "   goal 0   %s\n",
        what, tool.AllocationsPerReport(), static_cast<unsigned long long>(tool.allocations),
        tool.Reports(), tool.allocations == 0 ? "met" : "NOT MET");
}

// The goal is judged on the median of the per-repetition ratios: the two rows
// of one repetition run moments apart, so a slow drift of the machine's load
// cancels out of each ratio.
void PrintGoal(const char* what, const Measure& tool, const Measure& bare) {
    std::vector<double> ratios;
    for (size_t i = 0; i < tool.seconds.size() && i < bare.seconds.size(); ++i) {
        ratios.push_back(tool.seconds[i] / bare.seconds[i]);
    }
    std::sort(ratios.begin(), ratios.end());
    const double ratio = ratios[ratios.size() / 2];
    std::printf(
        "  ratio %-6s tool / bare client, cost per transfer: %.3f (repetitions %.3f to %.3f)"
        "   goal <= %.2f   %s\n",
        what, ratio, ratios.front(), ratios.back(), kTransferGoal,
        ratio <= kTransferGoal ? "met" : "NOT MET");
}

bool Check(int code, const char* what) {
    if (code != 0) {
        std::fprintf(stderr, "%s failed: %s\n", what, DeviceErrorText(code));
        return false;
    }
    return true;
}

// The device at `devicePath` on the bus in `busDir`.
CDevice DeviceAt(const std::string& busDir, const std::string& devicePath) {
    CDeviceBusConfig config;
    config.emulatorBusDir = busDir;
    config.useHidapi = false;
    return CDeviceList(config).At(devicePath).value_or(CDevice());
}

}  // namespace

namespace {

// 1. Per-transfer cost without a report interval. Every connection stays open
// and the rows take turns, each repetition in a rotated order.
bool MeasureUnpaced(const std::string& busDir, const std::vector<uint8_t>& block,
                    Measure (&reads)[3], Measure (&writes)[3]) {
    const int blocks = reads[0].blocks;
    bool ok = true;
    CBareDevice bare(busDir);
    CDeviceEmulator emulator(DefaultEmulatorConfig(busDir));
    ok = ok && emulator.Start();
    CBareClient client(bare.SocketPath());
    CDeviceChannel toBare;
    ok = ok && OpenChannel(DeviceAt(busDir, "emu:" + bare.SocketPath()), toBare).Ok();
    CDeviceChannel toEmulator;
    ok = ok && OpenChannel(DeviceAt(busDir, emulator.DevicePath()), toEmulator).Ok();
    if (!ok) {
        std::fprintf(stderr, "cannot open the channels\n");
        return false;
    }
    const std::function<void()> readWork[] = {
        [&] { client.ReadBlock(); }, [&] { ok = ok && Check(ReadBlock(toBare, 0).Code(), "read"); },
        [&] { ok = ok && Check(ReadBlock(toEmulator, 0x100000).Code(), "read"); }};
    const std::function<void()> writeWork[] = {
        [&] { client.WriteBlock(); },
        [&] { ok = ok && Check(WriteBlock(toBare, 0, block.data()).Code(), "write"); },
        [&] { ok = ok && Check(WriteBlock(toEmulator, 0x100000, block.data()).Code(), "write"); }};
    // One untimed round first: connections, caches and the emulator warm.
    for (int row = 0; row < 3; ++row) {
        SecondsFor(blocks / 10 + 1, readWork[row]);
        SecondsFor(blocks / 10 + 1, writeWork[row]);
    }
    for (int rep = 0; rep < kRepetitions; ++rep) {
        for (auto [rows, work] : {std::pair{&reads, &readWork}, std::pair{&writes, &writeWork}}) {
            for (int k = 0; k < 3; ++k) {
                const int row = (rep + k) % 3;
                Measure& m = (*rows)[row];
                const double cpu = ThreadCpuSeconds();
                const bench::CCallCounts before = bench::ThreadCallCounts();
                const double seconds = SecondsFor(blocks, (*work)[row]);
                const bench::CCallCounts after = bench::ThreadCallCounts();
                m.seconds.push_back(seconds);
                m.cpuSeconds.push_back(ThreadCpuSeconds() - cpu);
                m.systemCalls += after.systemCalls - before.systemCalls;
                m.allocations += after.allocations - before.allocations;
            }
        }
    }
    return ok;
}

void PrintUnpaced(const Measure (&reads)[3], const Measure (&writes)[3]) {
    std::printf("No report interval (ratio: time per transfer against the bare pair)\n");
    std::printf(" block read, 66 transfers:\n");
    for (const Measure& m : reads) {
        PrintRow(m, reads[0]);
    }
    std::printf(" block write, 67 transfers:\n");
    for (const Measure& m : writes) {
        PrintRow(m, writes[0]);
    }
    PrintGoal("read", reads[1], reads[0]);
    PrintGoal("write", writes[1], writes[0]);
    PrintCallGoals("read", reads[1], reads[0]);
    PrintCallGoals("write", writes[1], writes[0]);
}

void PrintPacedRow(const char* what, double seconds, double bound, const char* boundText) {
    std::printf("  %-29s %7.3f s   bound %s = %.3f s   x%.3f\n", what, seconds, boundText, bound,
                seconds / bound);
}

// 2. A device paced like a full-speed interrupt endpoint; the bare client on
// the same device shows what the device and the machine leave of the bound
// whatever the client.
bool MeasurePaced(const std::string& busDir, const std::vector<uint8_t>& block) {
    constexpr unsigned kIntervalUs = 1000;
    bool ok = true;
    CEmulatorConfig config = DefaultEmulatorConfig(busDir);
    config.label = "paced";
    config.reportIntervalUs = kIntervalUs;
    CDeviceEmulator emulator(config);
    ok = ok && emulator.Start();
    const std::string socketPath = emulator.DevicePath().substr(std::strlen("emu:"));
    CDeviceChannel channel;
    ok = ok && OpenChannel(DeviceAt(busDir, emulator.DevicePath()), channel).Ok();
    const double write = SecondsFor(
        64, [&] { ok = ok && Check(WriteBlock(channel, 0x200000, block.data()).Code(), "write"); });
    const double read = SecondsFor(
        16, [&] { ok = ok && Check(ReadBlock(channel, LOG_IMAGE_ADDRESS).Code(), "read"); });
    CloseChannel(channel);
    CBareClient client(socketPath);
    const double bareWrite = SecondsFor(64, [&] { client.WriteBlock(0x200000, block.data()); });
    const double bareRead = SecondsFor(16, [&] { client.ReadBlock(LOG_IMAGE_ADDRESS); });
    const double writeBound = 64 * 67 * kIntervalUs / 1e6;
    const double readBound = 16 * 66 * kIntervalUs / 1e6;
    std::printf("\nReport interval %u us (ratio: measured time against the report-rate bound)\n",
                kIntervalUs);
    PrintPacedRow("64-block write, tool", write, writeBound, "64 x 67 x 1 ms");
    PrintPacedRow("64-block write, bare client", bareWrite, writeBound, "64 x 67 x 1 ms");
    PrintPacedRow("16-block read, tool", read, readBound, "16 x 66 x 1 ms");
    PrintPacedRow("16-block read, bare client", bareRead, readBound, "16 x 66 x 1 ms");
    return ok;
}

}  // namespace

int Main(int argc, char* argv[]) {
    const int blocks = argc > 1 ? teelink::ParseNumber<int>(argv[1], 1, INT_MAX).value_or(1) : 300;
    char templ[] = "/tmp/tlbench-XXXXXX";
    if (mkdtemp(templ) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string busDir = templ;
    const std::vector<uint8_t> block(BLOCK_SIZE, 0x5A);
#ifdef NDEBUG
    std::printf(
        "device link benchmark (optimised build), %d blocks per repetition, median of %d\n\n",
        blocks, kRepetitions);
#else
    std::printf(
        "device link benchmark (UNOPTIMISED build: numbers are not representative), "
        "%d blocks per repetition, median of %d\n\n",
        blocks, kRepetitions);
#endif
    Measure reads[] = {{"bare client, bare device", {}, {}, blocks, 66},
                       {"tool, bare device", {}, {}, blocks, 66},
                       {"tool, emulator", {}, {}, blocks, 66}};
    Measure writes[] = {{"bare client, bare device", {}, {}, blocks, 67},
                        {"tool, bare device", {}, {}, blocks, 67},
                        {"tool, emulator", {}, {}, blocks, 67}};
    bool ok = MeasureUnpaced(busDir, block, reads, writes);
    if (ok) {
        PrintUnpaced(reads, writes);
        ok = MeasurePaced(busDir, block);
    }
    std::error_code ignored;
    std::filesystem::remove_all(busDir, ignored);
    if (!ok) {
        std::fprintf(stderr, "benchmark failed\n");
        return 1;
    }
    return 0;
}

}  // namespace teelink

int main(int argc, char* argv[]) {
    return teelink::Main(argc, argv);
}
