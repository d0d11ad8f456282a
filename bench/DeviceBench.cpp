// Device link benchmark: what the tool's transfer layers cost per report, and
// how close a paced device gets to its report-rate bound. Prints ratios
// measured side by side in one run.
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/UserNotifier.h"
#include "common/UserNotifier.h"
#include "common/ByteOrder.h"
#include "common/Text.h"
#include "device/DeviceChannel.h"
#include "device/Protocol.h"
#include "emulator/DeviceEmulator.h"

namespace {

using Clock = std::chrono::steady_clock;

class CSilentNotifier : public IUserNotifier {
public:
    void ShowPlain(const std::string& text) override {
        std::fprintf(stderr, "device message: %s\n", text.c_str());
    }
};

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
        m_thread = std::thread([this] { Serve(); });
    }
    ~CBareDevice() {
        shutdown(m_listen, SHUT_RDWR);
        m_thread.join();
        close(m_listen);
        unlink(m_path.c_str());
    }
    const std::string& SocketPath() const { return m_path; }

private:
    void Serve() {
        for (;;) {
            const int fd = accept(m_listen, nullptr, nullptr);
            if (fd < 0) {
                return;
            }
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
    }

    std::string m_path;
    int m_listen = -1;
    std::thread m_thread;
};

// A client with nothing of the tool in it: blocking send and recv.
class CBareClient {
public:
    explicit CBareClient(const std::string& socketPath) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
        m_fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            std::perror("bare client");
            std::exit(1);
        }
    }
    ~CBareClient() { close(m_fd); }

    void ReadBlock() {
        uint8_t message[REPORT_SIZE] = {};
        teelink::StoreLe32(message + 1, CommandWord(CMD_READ_BLOCK));
        send(m_fd, message, sizeof message, MSG_NOSIGNAL);
        for (size_t k = 0; k < PAYLOADS_PER_BLOCK + 1; ++k) {
            recv(m_fd, message, sizeof message, 0);
        }
    }
    void WriteBlock() {
        uint8_t message[REPORT_SIZE] = {};
        teelink::StoreLe32(message + 1, CommandWord(CMD_WRITE_BLOCK));
        send(m_fd, message, sizeof message, MSG_NOSIGNAL);
        recv(m_fd, message, sizeof message, 0);
        for (size_t k = 0; k < PAYLOADS_PER_BLOCK; ++k) {
            send(m_fd, message, sizeof message, MSG_NOSIGNAL);
        }
        recv(m_fd, message, sizeof message, 0);
    }

private:
    int m_fd = -1;
};

double SecondsFor(int repetitions, const std::function<void()>& work) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < repetitions; ++i) {
        work();
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Measure {
    const char* label;
    double seconds;
    int blocks;
    int transfersPerBlock;

    double MicrosPerTransfer() const { return seconds * 1e6 / (blocks * transfersPerBlock); }
};

void PrintRow(const Measure& m, const Measure& baseline) {
    std::printf("  %-38s %8.1f us/block %6.2f us/transfer %9.0f transfers/s  x%.2f\n", m.label,
                m.seconds * 1e6 / m.blocks, m.MicrosPerTransfer(),
                m.blocks * m.transfersPerBlock / m.seconds,
                m.MicrosPerTransfer() / baseline.MicrosPerTransfer());
}

bool Check(int code, const char* what) {
    if (code != 0) {
        std::fprintf(stderr, "%s failed: %s\n", what, DeviceErrorText(code));
        return false;
    }
    return true;
}

CDeviceList ListFor(const std::string& busDir, const std::string& devicePath) {
    CDeviceBusConfig config;
    config.emulatorBusDir = busDir;
    config.useHidapi = false;
    CDeviceList list(config);
    list.paths[0] = devicePath;
    list.count = 1;
    return list;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int blocks = argc > 1 ? teelink::ParseNumber<int>(argv[1], 1, INT_MAX).value_or(1) : 2000;
    char templ[] = "/tmp/tlbench-XXXXXX";
    if (mkdtemp(templ) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string busDir = templ;
    CSilentNotifier notifier;
    const std::vector<uint8_t> block(BLOCK_SIZE, 0x5A);
    bool ok = true;

#ifdef NDEBUG
    std::printf("device link benchmark (optimised build), %d blocks per row\n\n", blocks);
#else
    std::printf(
        "device link benchmark (UNOPTIMISED build: numbers are not representative), "
        "%d blocks per row\n\n",
        blocks);
#endif

    // 1. Per-transfer cost without a report interval.
    std::vector<Measure> reads;
    std::vector<Measure> writes;
    {
        CBareDevice bare(busDir);
        {
            CBareClient client(bare.SocketPath());
            reads.push_back({"bare client, bare device",
                             SecondsFor(blocks, [&] { client.ReadBlock(); }), blocks, 66});
            writes.push_back({"bare client, bare device",
                              SecondsFor(blocks, [&] { client.WriteBlock(); }), blocks, 67});
        }
        const CDeviceList list = ListFor(busDir, "emu:" + bare.SocketPath());
        CDeviceChannel channel;
        ok = ok && OpenChannel(list, channel, notifier);
        reads.push_back(
            {"tool, bare device",
             SecondsFor(blocks, [&] { ok = ok && Check(ReadBlock(channel, 0), "read"); }), blocks,
             66});
        writes.push_back(
            {"tool, bare device",
             SecondsFor(blocks,
                        [&] { ok = ok && Check(WriteBlock(channel, 0, block.data()), "write"); }),
             blocks, 67});
    }
    {
        CDeviceEmulator emulator(DefaultEmulatorConfig(busDir));
        ok = ok && emulator.Start();
        const CDeviceList list = ListFor(busDir, emulator.DevicePath());
        CDeviceChannel channel;
        ok = ok && OpenChannel(list, channel, notifier);
        reads.push_back(
            {"tool, emulator",
             SecondsFor(blocks, [&] { ok = ok && Check(ReadBlock(channel, 0x100000), "read"); }),
             blocks, 66});
        writes.push_back(
            {"tool, emulator",
             SecondsFor(
                 blocks,
                 [&] { ok = ok && Check(WriteBlock(channel, 0x100000, block.data()), "write"); }),
             blocks, 67});
    }
    std::printf("No report interval (ratio: time per transfer against the bare pair)\n");
    std::printf(" block read, 66 transfers:\n");
    for (const Measure& m : reads) {
        PrintRow(m, reads.front());
    }
    std::printf(" block write, 67 transfers:\n");
    for (const Measure& m : writes) {
        PrintRow(m, writes.front());
    }

    // 2. A device paced like a full-speed interrupt endpoint.
    {
        constexpr unsigned kIntervalUs = 1000;
        CEmulatorConfig config = DefaultEmulatorConfig(busDir);
        config.label = "paced";
        config.reportIntervalUs = kIntervalUs;
        CDeviceEmulator emulator(config);
        ok = ok && emulator.Start();
        const CDeviceList list = ListFor(busDir, emulator.DevicePath());
        CDeviceChannel channel;
        ok = ok && OpenChannel(list, channel, notifier);
        const double write = SecondsFor(
            64, [&] { ok = ok && Check(WriteBlock(channel, 0x200000, block.data()), "write"); });
        const double read = SecondsFor(
            16, [&] { ok = ok && Check(ReadBlock(channel, LOG_IMAGE_ADDRESS), "read"); });
        const double writeBound = 64 * 67 * kIntervalUs / 1e6;
        const double readBound = 16 * 66 * kIntervalUs / 1e6;
        std::printf(
            "\nReport interval %u us (ratio: measured time against the report-rate bound)\n",
            kIntervalUs);
        std::printf("  64-block write  %7.3f s   bound 64 x 67 x 1 ms = %.3f s   x%.3f\n", write,
                    writeBound, write / writeBound);
        std::printf("  16-block read   %7.3f s   bound 16 x 66 x 1 ms = %.3f s   x%.3f\n", read,
                    readBound, read / readBound);
    }

    std::error_code ignored;
    std::filesystem::remove_all(busDir, ignored);
    if (!ok) {
        std::fprintf(stderr, "benchmark failed\n");
        return 1;
    }
    return 0;
}
