#include "device/EmulatorBus.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#ifndef _WIN32
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace emubus {

bool IsValidLabel(const std::string& label) {
    if (label.empty()) {
        return false;
    }
    return std::all_of(label.begin(), label.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

std::string MakeSocketName(uint16_t vendorId, uint16_t productId, const std::string& label) {
    if (!IsValidLabel(label)) {
        return {};
    }
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x-%04x", vendorId, productId);
    return "hid-" + std::string(ids) + "-" + label + ".sock";
}

namespace {

std::optional<uint16_t> ParseHexId(std::string_view text) {
    if (text.size() != 4) {
        return std::nullopt;
    }
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return std::nullopt;
        }
    }
    uint16_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return value;
}

}  // namespace

std::optional<SocketName> ParseSocketName(const std::string& fileName) {
    // hid-VVVV-PPPP-L.sock at the shortest: the body VVVV-PPPP-L has 11 characters
    constexpr std::string_view kHead = "hid-";
    constexpr std::string_view kTail = ".sock";
    const std::string_view name = fileName;
    if (name.size() < kHead.size() + 11 + kTail.size() || !name.starts_with(kHead) ||
        !name.ends_with(kTail)) {
        return std::nullopt;
    }
    const std::string_view body =
        name.substr(kHead.size(), name.size() - kHead.size() - kTail.size());
    if (body[4] != '-' || body[9] != '-') {
        return std::nullopt;
    }
    const auto vendor = ParseHexId(body.substr(0, 4));
    const auto product = ParseHexId(body.substr(5, 4));
    std::string label(body.substr(10));
    if (!vendor || !product || !IsValidLabel(label)) {
        return std::nullopt;
    }
    return SocketName{*vendor, *product, std::move(label)};
}

}  // namespace emubus

#ifdef _WIN32

// Unix-domain sequenced-packet sockets do not exist on Windows: no emulated
// devices there.
CEmulatorBusBackend::CEmulatorBusBackend(std::string busDir) : m_busDir(std::move(busDir)) {}
void CEmulatorBusBackend::Enumerate(uint16_t, uint16_t, std::string&, const FoundFn&) {}
bool CEmulatorBusBackend::Owns(const std::string& path) const {
    return path.starts_with(emubus::kPathPrefix);
}
std::unique_ptr<IReportTransport> CEmulatorBusBackend::Open(const std::string&) {
    return nullptr;
}

#else

namespace {

using Clock = std::chrono::steady_clock;

// Only a few reports may wait unread in the socket, so a device that stops
// taking reports makes the tool's writes wait as a stalled USB endpoint does.
constexpr int kSendBufferBytes = 4096;

// A non-blocking connection to a listening bus socket, or -1. A full backlog
// counts as refusal rather than blocking the caller.
int ConnectToSocket(const std::string& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path) {
        return -1;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

class CBusTransport : public IReportTransport {
public:
    explicit CBusTransport(int fd) : m_fd(fd) {}
    ~CBusTransport() override { close(m_fd); }
    CBusTransport(const CBusTransport&) = delete;
    CBusTransport& operator=(const CBusTransport&) = delete;

    bool Write(std::span<const uint8_t, REPORT_SIZE> report, int timeoutMs) override {
        CDeadline deadline(timeoutMs);
        for (;;) {
            const ssize_t sent =
                send(m_fd, report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent >= 0) {
                return static_cast<size_t>(sent) == report.size();
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                return false;
            }
            if (!WaitFor(POLLOUT, deadline)) {
                return false;
            }
        }
    }

    bool Read(std::span<uint8_t, REPORT_SIZE> report, int timeoutMs) override {
        CDeadline deadline(timeoutMs);
        for (;;) {
            // Try first: during a block transfer the next report is usually
            // already queued, and then the read costs a single system call.
            // MSG_TRUNC gives the real length, so an oversized message is seen as such.
            uint8_t message[REPORT_SIZE];
            const ssize_t got = recv(m_fd, message, sizeof message, MSG_DONTWAIT | MSG_TRUNC);
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    return false;
                }
                if (!WaitFor(POLLIN, deadline)) {
                    return false;
                }
                continue;
            }
            // 0 is the peer closing (or an empty message): the device has gone.
            if (got != static_cast<ssize_t>(REPORT_SIZE)) {
                return false;
            }
            std::memcpy(report.data(), message, REPORT_SIZE);
            return true;
        }
    }

private:
    // The end of a transfer's limit, fixed when the transfer first has to
    // wait: most transfers never do, and then they read no clock at all.
    class CDeadline {
    public:
        explicit CDeadline(int timeoutMs) : m_timeoutMs(std::max(timeoutMs, 0)) {}
        Clock::time_point When() {
            if (!m_fixed) {
                m_when = Clock::now() + std::chrono::milliseconds(m_timeoutMs);
                m_fixed = true;
            }
            return m_when;
        }

    private:
        int m_timeoutMs;
        bool m_fixed = false;
        Clock::time_point m_when{};
    };

    bool WaitFor(short events, CDeadline& deadline) const {
        for (;;) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline.When() - Clock::now());
            const int waitMs = static_cast<int>(std::max<int64_t>(left.count(), 0));
            pollfd entry{m_fd, events, 0};
            const int ready = poll(&entry, 1, waitMs);
            if (ready > 0) {
                return true;  // readiness, hang-up or error: the transfer tells which
            }
            if (ready == 0) {
                return false;
            }
            if (errno != EINTR) {
                return false;
            }
        }
    }

    int m_fd;
};

}  // namespace

CEmulatorBusBackend::CEmulatorBusBackend(std::string busDir) : m_busDir(std::move(busDir)) {}

void CEmulatorBusBackend::Enumerate(uint16_t vendorId, uint16_t productId, std::string& workingPath,
                                    const FoundFn& found) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path dir = fs::absolute(fs::path(m_busDir), error).lexically_normal();
    if (error) {
        return;
    }
    std::vector<std::string> names;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        const auto parsed = emubus::ParseSocketName(name);
        if (parsed && parsed->vendorId == vendorId && parsed->productId == productId) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());

    for (const std::string& name : names) {
        const std::string socketPath = (dir / name).string();
        workingPath = emubus::kPathPrefix + socketPath;
        const int fd = ConnectToSocket(socketPath);
        if (fd < 0) {
            continue;
        }
        close(fd);
        found(workingPath);
    }
}

bool CEmulatorBusBackend::Owns(const std::string& path) const {
    return path.starts_with(emubus::kPathPrefix);
}

std::unique_ptr<IReportTransport> CEmulatorBusBackend::Open(const std::string& path) {
    if (!Owns(path)) {
        return nullptr;
    }
    const int fd = ConnectToSocket(path.substr(std::strlen(emubus::kPathPrefix)));
    if (fd < 0) {
        return nullptr;
    }
    const int sendBuffer = kSendBufferBytes;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    return std::make_unique<CBusTransport>(fd);
}

#endif
