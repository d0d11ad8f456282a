#include "emulator/BusTransport.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>

namespace teelink {

namespace {

namespace fs = std::filesystem;

// The accepted connections' receive buffer: small, so that a device that
// stops taking reports soon stalls the tool's writes, as on a real link.
constexpr int kReceiveBufferBytes = 4096;

void RemoveFile(const std::string& path) {
    std::error_code ignored;
    fs::remove(fs::path(path), ignored);
}

// How moving a whole report ended; `waited` is why a wait gave up.
LinkIo Outcome(loopback::Moved moved, LinkIo waited) {
    if (moved == loopback::Moved::All) {
        return LinkIo::Ok;
    }
    return moved == loopback::Moved::GaveUp ? waited : LinkIo::Closed;
}

// A connection on the bus: reports move whole or not at all, through the
// socket's own buffers.
class CSocketLink : public CEmulatorLink {
public:
    explicit CSocketLink(loopback::Socket socket) : m_socket(socket) {}
    ~CSocketLink() override { loopback::Close(m_socket); }
    CSocketLink(const CSocketLink&) = delete;
    CSocketLink& operator=(const CSocketLink&) = delete;

    loopback::Socket Handle() const override { return m_socket; }

    LinkIo Send(const uint8_t (&message)[REPORT_SIZE], ILinkWaiter& waiter) override {
        // A packet socket takes the message whole or not at all; a stream may
        // take part of it.
        LinkIo io = LinkIo::Ok;
        size_t sent = 0;
        const loopback::Moved moved =
            loopback::SendAll(m_socket, message, sizeof message, sent, [&] {
                io = waiter.WaitFor(loopback::kWritable);
                return io == LinkIo::Ok;
            });
        return Outcome(moved, io);
    }

    void StopTaking() override {
#ifdef _WIN32
        shutdown(m_socket, SD_RECEIVE);
#else
        shutdown(m_socket, SHUT_RD);
#endif
    }

    // A device that is pulled out resets the connection, so the tool's next
    // send fails at once on a stream too.
    void End(bool pulledOut) override {
        if (pulledOut) {
            loopback::Abort(m_socket);
        } else {
            loopback::Close(m_socket);
        }
    }

protected:
    loopback::Socket m_socket;
};

class CPacketLink : public CSocketLink {
public:
    using CSocketLink::CSocketLink;

#ifdef _WIN32
    LinkIo Receive(uint8_t (&)[REPORT_SIZE], ILinkWaiter&) override {
        return LinkIo::Closed;
    }
#else
    LinkIo Receive(uint8_t (&message)[REPORT_SIZE], ILinkWaiter& waiter) override {
        for (;;) {
            const ssize_t got = recv(m_socket, message, sizeof message, MSG_DONTWAIT | MSG_TRUNC);
            if (got < 0 && loopback::WouldBlock()) {
                if (const LinkIo io = waiter.WaitFor(loopback::kReadable); io != LinkIo::Ok) {
                    return io;
                }
                continue;
            }
            if (got <= 0) {
                return LinkIo::Closed;
            }
            if (got == static_cast<ssize_t>(REPORT_SIZE)) {
                return LinkIo::Ok;
            }
            waiter.Ignored(static_cast<long>(got));
        }
    }
#endif
};

class CStreamLink : public CSocketLink {
public:
    CStreamLink(loopback::Socket socket, std::string token)
        : CSocketLink(socket), m_token(std::move(token)) {}

    // Only a connection that sent the device's token; probes that only
    // connect are refused quietly.
    bool Admit(ILinkWaiter& waiter) override {
        uint8_t token[emubus::kTokenSize];
        return ReceiveExactly(token, sizeof token, waiter) == LinkIo::Ok &&
               std::memcmp(token, m_token.data(), sizeof token) == 0;
    }

    LinkIo Receive(uint8_t (&message)[REPORT_SIZE], ILinkWaiter& waiter) override {
        return ReceiveExactly(message, REPORT_SIZE, waiter);
    }

    short HangUpEvents() const override { return loopback::kReadable; }

    // A stream tells a hang-up only by reading its end; what the tool still
    // sends is left unread, as a stalled device leaves it.
    bool HungUp(short revents) const override {
        if (revents & loopback::kHangUp) {
            return true;
        }
        uint8_t byte;
        return (revents & loopback::kReadable) &&
               recv(m_socket, reinterpret_cast<char*>(&byte), 1, MSG_PEEK) == 0;
    }

private:
    LinkIo ReceiveExactly(uint8_t* bytes, size_t size, ILinkWaiter& waiter) {
        LinkIo io = LinkIo::Ok;
        size_t have = 0;
        const loopback::Moved moved = loopback::ReceiveAll(m_socket, bytes, size, have, [&] {
            io = waiter.WaitFor(loopback::kReadable);
            return io == LinkIo::Ok;
        });
        return Outcome(moved, io);
    }

    std::string m_token;
};

}  // namespace

bool CBusTransport::Open(const CEmulatorConfig& config, std::string& error) {
    if (!MakePath(config, error)) {
        return false;
    }
    m_listener = Listen(error);
    return m_listener != loopback::kNoSocket;
}

bool CBusTransport::MakePath(const CEmulatorConfig& config, std::string& error) {
    if (config.busDir.empty()) {
        error = "no bus directory (this build has no default one)";
        return false;
    }
    const std::string name =
        emubus::MakeSocketName(config.vendorId, config.productId, config.label, m_kind);
    if (name.empty()) {
        error = "label must be letters, digits, '-' and '_': " + config.label;
        return false;
    }
    std::error_code ec;
    // A bus folder made here is this user's alone: the tool ignores a bus that
    // others may write to.
    if (fs::create_directories(fs::path(config.busDir), ec)) {
        fs::permissions(fs::path(config.busDir), fs::perms::owner_all, ec);
    }
    const fs::path dir = fs::absolute(fs::path(config.busDir), ec).lexically_normal();
    if (ec) {
        error = "bus directory " + config.busDir + ": " + ec.message();
        return false;
    }
    m_path = (dir / name).string();
    return true;
}

std::string CBusTransport::DevicePath() const {
    std::string path = emubus::kPathPrefix;
    path += m_path;
    return path;
}

void CBusTransport::Withdraw() {
    if (m_listener != loopback::kNoSocket) {
        loopback::Close(m_listener);
        RemoveFile(m_path);
    }
}

std::unique_ptr<CEmulatorLink> CBusTransport::Accept() {
    if (m_listener == loopback::kNoSocket) {
        return nullptr;
    }
    const loopback::Socket connection = loopback::Accept(m_listener);
    return connection != loopback::kNoSocket ? MakeLink(connection) : nullptr;
}

std::unique_ptr<CEmulatorLink> CSocketTransport::MakeLink(loopback::Socket connection) {
    return std::make_unique<CPacketLink>(connection);
}

std::unique_ptr<CEmulatorLink> CTcpTransport::MakeLink(loopback::Socket connection) {
    return std::make_unique<CStreamLink>(connection, m_token);
}

// The listener's port and a fresh token, announced by a file that appears
// whole (written aside, then renamed) so that a tool never reads half of it.
loopback::Socket CTcpTransport::Listen(std::string& error) {
    const std::string& path = Where();
    if (fs::exists(fs::path(path))) {
        const auto previous = emubus::ReadAnnouncement(path);
        loopback::Socket probe =
            previous ? loopback::Connect(previous->port, 0) : loopback::kNoSocket;
        if (probe != loopback::kNoSocket) {
            loopback::Close(probe);
            error = "another device is listening on " + path;
            return loopback::kNoSocket;
        }
    }
    uint16_t port = 0;
    loopback::Socket listener = loopback::Listen(port, kReceiveBufferBytes, error);
    if (listener == loopback::kNoSocket) {
        return listener;
    }
    m_token = emubus::MakeToken();
    const std::string aside = path + ".new";
    std::ofstream file(fs::path(aside), std::ios::binary | std::ios::trunc);
    file << emubus::FormatAnnouncement({port, m_token});
    file.close();
    std::error_code ec;
    if (!file.fail()) {
        fs::rename(fs::path(aside), fs::path(path), ec);
    }
    if (file.fail() || ec) {
        RemoveFile(aside);
        loopback::Close(listener);
        error = "cannot write " + path;
    }
    return listener;
}

#ifdef _WIN32
loopback::Socket CSocketTransport::Listen(std::string& error) {
    error = "sequenced-packet sockets do not exist on this system: use the tcp transport";
    return loopback::kNoSocket;
}
#else
loopback::Socket CSocketTransport::Listen(std::string& error) {
    const std::string& path = Where();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        error = "socket path too long: " + path;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    const auto* raw = reinterpret_cast<const sockaddr*>(&address);
    bool bound = bind(fd, raw, sizeof address) == 0;
    // A socket file left by a device that ended without cleaning up is stale
    // when nobody answers on it.
    if (!bound && errno == EADDRINUSE) {
        const int probe = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        const bool live = probe >= 0 && connect(probe, raw, sizeof address) == 0;
        if (probe >= 0) {
            close(probe);
        }
        if (live) {
            error = "another device is listening on " + path;
            close(fd);
            return -1;
        }
        unlink(path.c_str());
        bound = bind(fd, raw, sizeof address) == 0;
    }
    if (!bound) {
        error = "bind " + path + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    if (listen(fd, 8) != 0) {
        error = std::string("listen: ") + std::strerror(errno);
        close(fd);
        unlink(path.c_str());
        return -1;
    }
    return fd;
}
#endif

}  // namespace teelink
