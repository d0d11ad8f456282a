#include "device/EmulatorBus.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "device/LoopbackSocket.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iostream>
#endif

namespace teelink {

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

std::string MakeSocketName(uint16_t vendorId, uint16_t productId, const std::string& label,
                           Kind kind) {
    if (!IsValidLabel(label)) {
        return {};
    }
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x-%04x", vendorId, productId);
    return "hid-" + std::string(ids) + "-" + label + (kind == Kind::Tcp ? ".tcp" : ".sock");
}

namespace {

bool IsLowerHex(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

std::optional<uint16_t> ParseHexId(std::string_view text) {
    if (text.size() != 4 || !IsLowerHex(text)) {
        return std::nullopt;
    }
    uint16_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return value;
}

}  // namespace

std::optional<SocketName> ParseSocketName(const std::string& fileName) {
    // hid-VVVV-PPPP-L.tcp at the shortest: the body VVVV-PPPP-L has 11 characters
    constexpr std::string_view kHead = "hid-";
    const std::string_view name = fileName;
    Kind kind = Kind::Socket;
    std::string_view tail = ".sock";
    if (name.ends_with(".tcp")) {
        kind = Kind::Tcp;
        tail = ".tcp";
    }
    if (name.size() < kHead.size() + 11 + tail.size() || !name.starts_with(kHead) ||
        !name.ends_with(tail)) {
        return std::nullopt;
    }
    const std::string_view body =
        name.substr(kHead.size(), name.size() - kHead.size() - tail.size());
    if (body[4] != '-' || body[9] != '-') {
        return std::nullopt;
    }
    const auto vendor = ParseHexId(body.substr(0, 4));
    const auto product = ParseHexId(body.substr(5, 4));
    std::string label(body.substr(10));
    if (!vendor || !product || !IsValidLabel(label)) {
        return std::nullopt;
    }
    return SocketName{*vendor, *product, std::move(label), kind};
}

std::string FormatAnnouncement(const Announcement& announcement) {
    return std::to_string(announcement.port) + " " + announcement.token + "\n";
}

std::optional<Announcement> ParseAnnouncement(const std::string& text) {
    const size_t space = text.find(' ');
    if (space == std::string::npos || space == 0 || space > 5) {
        return std::nullopt;
    }
    unsigned port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + space, port);
    if (error != std::errc() || end != text.data() + space || port == 0 || port > 65535) {
        return std::nullopt;
    }
    std::string_view rest = std::string_view(text).substr(space + 1);
    if (rest.ends_with('\n')) {
        rest.remove_suffix(1);
    }
    if (rest.size() != kTokenSize || !IsLowerHex(rest)) {
        return std::nullopt;
    }
    return Announcement{static_cast<uint16_t>(port), std::string(rest)};
}

std::optional<Announcement> ReadAnnouncement(const std::string& path) {
    // Longer than any announcement: a bigger file is none.
    char text[kMaxAnnouncementSize + 1];
    size_t got = 0;
#ifdef _WIN32
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    file.read(text, sizeof text);
    got = static_cast<size_t>(file.gcount());
#else
    // Never through a link, never blocking on a FIFO, only from a plain file.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return std::nullopt;
    }
    for (;;) {
        const ssize_t n = read(fd, text + got, sizeof text - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
        if (got == sizeof text) {
            break;
        }
    }
    close(fd);
#endif
    if (got > kMaxAnnouncementSize) {
        return std::nullopt;
    }
    return ParseAnnouncement(std::string(text, got));
}

std::string MakeToken() {
    std::random_device random;
    std::string token;
    while (token.size() < kTokenSize) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(random()));
        token += digits;
    }
    token.resize(kTokenSize);
    return token;
}

}  // namespace emubus

namespace {

using Clock = std::chrono::steady_clock;
using loopback::Socket;

// Only a few reports may wait unread, so a device that stops taking reports
// makes the tool's writes wait as a stalled USB endpoint does.
constexpr int kSendBufferBytes = 4096;

// The end of a transfer's limit, fixed when the transfer first has to wait:
// most transfers never do, and then they read no clock at all.
class CDeadline {
public:
    explicit CDeadline(int timeoutMs) : m_timeoutMs(std::max(timeoutMs, 0)) {}
    int LeftMs() {
        if (!m_fixed) {
            m_when = Clock::now() + std::chrono::milliseconds(m_timeoutMs);
            m_fixed = true;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_when - Clock::now());
        return static_cast<int>(std::max<int64_t>(left.count(), 0));
    }

private:
    int m_timeoutMs;
    bool m_fixed = false;
    Clock::time_point m_when{};
};

// One connection of the bus; owns the socket and the claim on the interface.
class CBusTransport : public IReportTransport {
public:
    CBusTransport(Socket socket, CDeviceClaim claim)
        : m_claim(std::move(claim)), m_socket(socket) {}
    ~CBusTransport() override { loopback::Close(m_socket); }
    CBusTransport(const CBusTransport&) = delete;
    CBusTransport& operator=(const CBusTransport&) = delete;

protected:
    // Waits until the socket is ready for `events` (or hung up); false when
    // the limit passed or polling failed.
    bool WaitFor(short events, CDeadline& deadline) const {
        for (;;) {
            const int waitMs = deadline.LeftMs();
            loopback::PollEntry entry{m_socket, events, 0};
            const int ready = loopback::Poll(&entry, 1, waitMs);
            if (ready > 0) {
                return true;  // readiness, hang-up or error: the transfer tells which
            }
            if (ready < 0 || waitMs == 0) {
                return false;
            }
        }
    }

    CDeviceClaim m_claim;  // released after the socket is closed
    Socket m_socket;
};

// Reports as frames of exactly REPORT_SIZE bytes on a TCP stream. A frame cut
// short by the limit is finished by the next transfer in that direction, so
// the stream never loses its framing; a peer that closes ends the channel.
class CStreamTransport : public CBusTransport {
public:
    using CBusTransport::CBusTransport;

    bool Write(std::span<const uint8_t, REPORT_SIZE> report, int timeoutMs) override {
        CDeadline deadline(timeoutMs);
        if (m_closed) {
            return false;
        }
        if (m_sent == REPORT_SIZE) {
            std::memcpy(m_out, report.data(), REPORT_SIZE);
            m_sent = 0;
        } else if (std::memcmp(m_out, report.data(), REPORT_SIZE) != 0) {
            return false;  // the stream still owes an earlier report's tail
        }
        return Finished(loopback::SendAll(m_socket, m_out, REPORT_SIZE, m_sent,
                                          [&] { return WaitFor(loopback::kWritable, deadline); }));
    }

    bool Read(std::span<uint8_t, REPORT_SIZE> report, int timeoutMs) override {
        CDeadline deadline(timeoutMs);
        if (m_closed || !Finished(loopback::ReceiveAll(m_socket, m_in, REPORT_SIZE, m_have, [&] {
                return WaitFor(loopback::kReadable, deadline);
            }))) {
            return false;
        }
        std::memcpy(report.data(), m_in, REPORT_SIZE);
        m_have = 0;
        return true;
    }

private:
    // Whether the frame moved whole; a peer that closed or a failed socket
    // ends the channel, a limit that passed leaves the frame to finish later.
    bool Finished(loopback::Moved moved) {
        if (moved == loopback::Moved::PeerClosed || moved == loopback::Moved::Failed) {
            m_closed = true;
        }
        return moved == loopback::Moved::All;
    }

    uint8_t m_out[REPORT_SIZE] = {};
    size_t m_sent = REPORT_SIZE;  // of m_out: all of it when no frame is owed
    uint8_t m_in[REPORT_SIZE] = {};
    size_t m_have = 0;
    bool m_closed = false;
};

// A connection that has sent its token, or kNoSocket.
Socket ConnectTcp(const std::string& announcementPath, int sendBuffer) {
    const auto announcement = emubus::ReadAnnouncement(announcementPath);
    if (!announcement) {
        return loopback::kNoSocket;
    }
    Socket socket = loopback::Connect(announcement->port, sendBuffer);
    if (socket != loopback::kNoSocket &&
        loopback::Send(socket, announcement->token.data(), announcement->token.size()) !=
            static_cast<long>(announcement->token.size())) {
        loopback::Close(socket);
    }
    return socket;
}

#ifndef _WIN32

// Every report one message of a SOCK_SEQPACKET socket.
class CPacketTransport : public CBusTransport {
public:
    using CBusTransport::CBusTransport;

    bool Write(std::span<const uint8_t, REPORT_SIZE> report, int timeoutMs) override {
        CDeadline deadline(timeoutMs);
        for (;;) {
            const ssize_t sent =
                send(m_socket, report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent >= 0) {
                return static_cast<size_t>(sent) == report.size();
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                return false;
            }
            if (!WaitFor(loopback::kWritable, deadline)) {
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
            const ssize_t got = recv(m_socket, message, sizeof message, MSG_DONTWAIT | MSG_TRUNC);
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    return false;
                }
                if (!WaitFor(loopback::kReadable, deadline)) {
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
};

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

#endif

// A connection to the interface a bus file announces, or kNoSocket.
Socket ConnectToInterface(const std::string& filePath, int sendBuffer) {
    const auto parsed =
        emubus::ParseSocketName(std::filesystem::path(filePath).filename().string());
    if (!parsed) {
        return loopback::kNoSocket;
    }
    if (parsed->kind == emubus::Kind::Tcp) {
        return ConnectTcp(filePath, sendBuffer);
    }
#ifdef _WIN32
    return loopback::kNoSocket;  // Unix-domain sequenced packets do not exist here
#else
    const int fd = ConnectToSocket(filePath);
    if (fd >= 0 && sendBuffer > 0) {
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    }
    return fd;
#endif
}

}  // namespace

CEmulatorBusBackend::CEmulatorBusBackend(std::string busDir) : m_busDir(std::move(busDir)) {}

namespace {

// Whether the bus in `dir` may be trusted: a folder of this user's that nobody
// else may write to. Anyone who could write there could present devices to the
// tool. Said once per process, on standard error, when it may not.
bool TrustedBus(const std::filesystem::path& dir) {
#ifdef _WIN32
    (void)dir;
    return true;
#else
    struct stat info {};
    if (lstat(dir.c_str(), &info) != 0) {
        return false;  // no bus: nothing to say
    }
    const bool trusted = S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
                         (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    static std::atomic<bool> warned{false};
    if (!trusted && !warned.exchange(true)) {
        std::cerr << "teelink: ignoring the emulator bus " << dir.string()
                  << ": it is not a folder of this user's that only this user may write to\n";
    }
    return trusted;
#endif
}

// Only a socket can be a .sock interface and only a plain file a .tcp
// announcement; links and everything else are passed over.
bool RightKind(const std::filesystem::directory_entry& entry, emubus::Kind kind) {
    std::error_code error;
    const auto type = entry.symlink_status(error).type();
    if (error) {
        return false;
    }
    return kind == emubus::Kind::Tcp ? type == std::filesystem::file_type::regular
                                     : type == std::filesystem::file_type::socket;
}

}  // namespace

void CEmulatorBusBackend::Enumerate(uint16_t vendorId, uint16_t productId, std::string& workingPath,
                                    const FoundFn& found, const UnusableFn& unusable) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path dir = fs::absolute(fs::path(m_busDir), error).lexically_normal();
    if (error || !TrustedBus(dir)) {
        return;
    }
    std::vector<std::string> names;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        const auto parsed = emubus::ParseSocketName(name);
        if (parsed && parsed->vendorId == vendorId && parsed->productId == productId &&
            RightKind(*it, parsed->kind)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());

    for (const std::string& name : names) {
        const std::string filePath = (dir / fs::path(name)).string();
        workingPath = emubus::kPathPrefix + filePath;
        CDeviceClaim claim;  // held through the probe
        if (Claim(workingPath, claim) == ClaimResult::InUse) {
            unusable(
                {workingPath, DeviceProblem::InUse, LockHolder(filePath + emubus::kLockSuffix)});
            continue;
        }
        Socket probe = ConnectToInterface(filePath, 0);
        if (probe == loopback::kNoSocket) {
            continue;
        }
        loopback::Close(probe);
        found(workingPath);
    }
}

bool CEmulatorBusBackend::Owns(const std::string& path) const {
    return path.starts_with(emubus::kPathPrefix);
}

// An emulator takes a second connection into its backlog and serves it once
// the first ends, so its socket cannot refuse a second tool: the tools agree
// through a lock file beside the socket instead. A bus where no lock file can
// be made is used without one.
ClaimResult CEmulatorBusBackend::Claim(const std::string& path, CDeviceClaim& claim) {
    if (!Owns(path)) {
        return ClaimResult::Unavailable;
    }
    const ClaimResult result =
        claim.Take(path.substr(std::strlen(emubus::kPathPrefix)) + emubus::kLockSuffix, true);
    return result == ClaimResult::InUse ? result : ClaimResult::Taken;
}

std::unique_ptr<IReportTransport> CEmulatorBusBackend::Open(const std::string& path) {
    if (!Owns(path)) {
        return nullptr;
    }
    const std::string filePath = path.substr(std::strlen(emubus::kPathPrefix));
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::directory_entry entry(fs::path(filePath), error);
    const auto parsed = emubus::ParseSocketName(fs::path(filePath).filename().string());
    if (error || !parsed || !TrustedBus(fs::path(filePath).parent_path()) ||
        !RightKind(entry, parsed->kind)) {
        return nullptr;
    }
    CDeviceClaim claim;
    if (Claim(path, claim) == ClaimResult::InUse) {
        return nullptr;
    }
    Socket socket = ConnectToInterface(filePath, kSendBufferBytes);
    if (socket == loopback::kNoSocket) {
        return nullptr;
    }
    if (emubus::ParseSocketName(std::filesystem::path(filePath).filename().string())->kind ==
        emubus::Kind::Tcp) {
        return std::make_unique<CStreamTransport>(socket, std::move(claim));
    }
#ifdef _WIN32
    loopback::Close(socket);
    return nullptr;
#else
    return std::make_unique<CPacketTransport>(socket, std::move(claim));
#endif
}

}  // namespace teelink
