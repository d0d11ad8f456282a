#include "emulator/DeviceEmulator.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "common/ByteOrder.h"
#include "device/EmulatorBus.h"
#include "device/Protocol.h"
#include "emulator/DeviceCommands.h"
#include "emulator/EmulatorSession.h"
#include "emulator/GadgetPort.h"

namespace teelink {

namespace {

const char* CommandName(uint32_t word) {
    switch (word) {
        case CommandWord(CMD_END):
            return "END";
        case CommandWord(CMD_WRITE_BLOCK):
            return "WRITE_BLOCK";
        case CommandWord(CMD_READ_BLOCK):
            return "READ_BLOCK";
        case CommandWord(CMD_READ_FAVORITES):
            return "READ_FAVORITES";
        case CommandWord(CMD_READ_IDENTITY):
            return "READ_IDENTITY";
        default:
            return "UNKNOWN";
    }
}

void CopyText(std::array<uint8_t, 32>& record, size_t offset, const std::string& text,
              size_t width) {
    for (size_t i = 0; i < width && i < text.size(); ++i) {
        record[offset + i] = static_cast<uint8_t>(text[i]);
    }
}

// The accepted connections' receive buffer: small, so that a device that
// stops taking reports soon stalls the tool's writes, as on a real link.
constexpr int kReceiveBufferBytes = 4096;

void RemoveFile(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(path), ignored);
}

}  // namespace

std::array<uint8_t, 32> MakeIdentityRecord(const std::string& model,
                                           const std::string& hardwareCode,
                                           const std::string& systemVersion) {
    std::array<uint8_t, 32> record{};
    record[0] = 'T';
    record[1] = 'L';
    // "R7" and "R8" travel as three bytes with a trailing blank.
    std::string modelBytes = model;
    modelBytes.resize(3, ' ');
    CopyText(record, 3, modelBytes, 3);
    CopyText(record, 7, hardwareCode, 3);
    CopyText(record, 11, systemVersion, 5);
    return record;
}

void SetFavoriteEntry(std::array<uint8_t, 240>& table, size_t slot, uint16_t n, uint8_t s,
                      uint16_t g, const std::string& date) {
    uint8_t* entry = table.data() + slot * 15;
    std::fill(entry, entry + 15, 0);
    teelink::StoreLe16(entry, n);
    entry[2] = s;
    teelink::StoreLe16(entry + 3, g);
    std::copy_n(date.begin(), std::min<size_t>(date.size(), 10), entry + 5);
}

CEmulatorConfig DefaultEmulatorConfig(std::string busDir) {
    CEmulatorConfig config;
    config.busDir = std::move(busDir);
    // The whole test suite can run on either transport where both exist.
    if (const char* transport = std::getenv("TEELINK_EMULATOR_TRANSPORT")) {
        if (std::string_view(transport) == "tcp") {
            config.transport = EmulatorTransport::Tcp;
        } else if (std::string_view(transport) == "socket") {
            config.transport = EmulatorTransport::Socket;
        } else if (std::string_view(transport) == "gadget") {
            config.transport = EmulatorTransport::Gadget;
            config.gadgets = GadgetsFromEnvironment();
        }
    }
    config.identity = MakeIdentityRecord("R7", "A01", "1.05");
    config.courseDate = "170315";
    // Courses of refserver/content/courses.tsv, so that the favourites page has
    // every kind of row to show against the sample server.
    SetFavoriteEntry(config.favorites, 1, 1, 1, 1, "1702160845");
    SetFavoriteEntry(config.favorites, 2, 1, 1, 2, "1511020900");
    SetFavoriteEntry(config.favorites, 3, 1, 99, 999, "1601010000");
    SetFavoriteEntry(config.favorites, 5, 1, 1, 7, "1606131615");
    return config;
}

CDeviceEmulator::CDeviceEmulator(CEmulatorConfig config) : m_config(std::move(config)) {
    if (m_config.courseDate) {
        std::vector<uint8_t> header(BLOCK_SIZE, 0);
        header[0] = 'T';
        header[1] = 'L';
        for (size_t i = 0; i < 6 && i < m_config.courseDate->size(); ++i) {
            header[13 + i] = static_cast<uint8_t>((*m_config.courseDate)[i]);
        }
        m_memory.Write(COURSE_HEADER_ADDRESS, header);
    }
    if (!m_config.logImage.empty()) {
        m_memory.Write(LOG_IMAGE_ADDRESS, m_config.logImage);
    }
    for (const CMemoryPreload& preload : m_config.preloads) {
        m_memory.Write(preload.address, preload.bytes);
    }
}

CDeviceEmulator::~CDeviceEmulator() {
    Stop();
}

std::string CDeviceEmulator::DevicePath() const {
    if (m_config.transport == EmulatorTransport::Gadget) {
        return m_hostPath;
    }
    return emubus::kPathPrefix + m_socketPath;
}

std::string CDeviceEmulator::LastError() const {
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

bool CDeviceEmulator::Start() {
    if (m_thread.joinable()) {
        return Fail("already started");
    }
    std::string error;
    if (!loopback::MakeWakePair(m_wakeWait, m_wakeNotify)) {
        return Fail("wake-up sockets: " + loopback::LastErrorText());
    }
    const bool ready = m_config.transport == EmulatorTransport::Gadget
                           ? PlugGadget(error)
                           : (m_listen = ListenOnBus(error)) != loopback::kNoSocket;
    if (!ready) {
        loopback::Close(m_wakeWait);
        loopback::Close(m_wakeNotify);
        return Fail(error);
    }
    m_stopRequested = false;
    m_unplugRequested = false;
    {
        std::lock_guard lock(m_mutex);
        m_status.plugged = true;
    }
    m_thread = std::thread([this] { Run(); });
    return true;
}

bool CDeviceEmulator::Fail(std::string text) {
    std::lock_guard lock(m_mutex);
    m_lastError = std::move(text);
    return false;
}

bool CDeviceEmulator::MakeSocketPath(std::string& error) {
    namespace fs = std::filesystem;
    if (m_config.busDir.empty()) {
        error = "no bus directory (this build has no default one)";
        return false;
    }
    const std::string name = emubus::MakeSocketName(
        m_config.vendorId, m_config.productId, m_config.label, BusFileKind(m_config.transport));
    if (name.empty()) {
        error = "label must be letters, digits, '-' and '_': " + m_config.label;
        return false;
    }
    std::error_code ec;
    // A bus folder made here is this user's alone: the tool ignores a bus that
    // others may write to.
    if (fs::create_directories(fs::path(m_config.busDir), ec)) {
        fs::permissions(fs::path(m_config.busDir), fs::perms::owner_all, ec);
    }
    const fs::path dir = fs::absolute(fs::path(m_config.busDir), ec).lexically_normal();
    if (ec) {
        error = "bus directory " + m_config.busDir + ": " + ec.message();
        return false;
    }
    m_socketPath = (dir / name).string();
    return true;
}

loopback::Socket CDeviceEmulator::ListenOnBus(std::string& error) {
    if (!MakeSocketPath(error)) {
        return loopback::kNoSocket;
    }
    return m_config.transport == EmulatorTransport::Tcp ? ListenOnTcp(error)
                                                        : ListenOnPacketSocket(error);
}

// The listener's port and a fresh token, announced by a file that appears
// whole (written aside, then renamed) so that a tool never reads half of it.
loopback::Socket CDeviceEmulator::ListenOnTcp(std::string& error) {
    namespace fs = std::filesystem;
    if (fs::exists(fs::path(m_socketPath))) {
        const auto previous = emubus::ReadAnnouncement(m_socketPath);
        loopback::Socket probe =
            previous ? loopback::Connect(previous->port, 0) : loopback::kNoSocket;
        if (probe != loopback::kNoSocket) {
            loopback::Close(probe);
            error = "another device is listening on " + m_socketPath;
            return loopback::kNoSocket;
        }
    }
    uint16_t port = 0;
    loopback::Socket listener = loopback::Listen(port, kReceiveBufferBytes, error);
    if (listener == loopback::kNoSocket) {
        return listener;
    }
    m_token = emubus::MakeToken();
    const std::string aside = m_socketPath + ".new";
    {
        std::ofstream file(fs::path(aside), std::ios::binary | std::ios::trunc);
        file << emubus::FormatAnnouncement({port, m_token});
        file.close();
        std::error_code ec;
        if (!file.fail()) {
            fs::rename(fs::path(aside), fs::path(m_socketPath), ec);
        }
        if (file.fail() || ec) {
            RemoveFile(aside);
            loopback::Close(listener);
            error = "cannot write " + m_socketPath;
        }
    }
    return listener;
}

#ifdef _WIN32
loopback::Socket CDeviceEmulator::ListenOnPacketSocket(std::string& error) {
    error = "sequenced-packet sockets do not exist on this system: use the tcp transport";
    return loopback::kNoSocket;
}
#else
loopback::Socket CDeviceEmulator::ListenOnPacketSocket(std::string& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_socketPath.size() >= sizeof address.sun_path) {
        error = "socket path too long: " + m_socketPath;
        return -1;
    }
    std::memcpy(address.sun_path, m_socketPath.c_str(), m_socketPath.size() + 1);
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
            error = "another device is listening on " + m_socketPath;
            close(fd);
            return -1;
        }
        unlink(m_socketPath.c_str());
        bound = bind(fd, raw, sizeof address) == 0;
    }
    if (!bound) {
        error = "bind " + m_socketPath + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    if (listen(fd, 8) != 0) {
        error = std::string("listen: ") + std::strerror(errno);
        close(fd);
        unlink(m_socketPath.c_str());
        return -1;
    }
    return fd;
}
#endif

void CDeviceEmulator::Stop() {
    if (m_thread.joinable()) {
        m_stopRequested = true;
        Wake('s');
        m_thread.join();
    }
    WithdrawSocket();
    loopback::Close(m_wakeWait);
    loopback::Close(m_wakeNotify);
}

void CDeviceEmulator::Wake(char why) {
    loopback::Send(m_wakeNotify, &why, 1);
}

void CDeviceEmulator::Unplug() {
    if (!m_thread.joinable()) {
        WithdrawSocket();
        return;
    }
    m_unplugRequested = true;
    Wake('u');
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_status.plugged; });
}

bool CDeviceEmulator::WakeRequested() {
    return m_stopRequested.load() || m_unplugRequested.load();
}

void CDeviceEmulator::WithdrawSocket() {
    if (m_listen != loopback::kNoSocket) {
        loopback::Close(m_listen);
        RemoveFile(m_socketPath);
    }
    PullGadget();
    std::lock_guard lock(m_mutex);
    if (m_status.plugged) {
        m_status.plugged = false;
        m_changed.notify_all();
    }
}

void CDeviceEmulator::Run() {
    if (m_config.transport == EmulatorTransport::Gadget) {
        return RunGadget();
    }
    for (;;) {
        loopback::PollEntry entries[2] = {{m_wakeWait, loopback::kReadable, 0},
                                          {m_listen, loopback::kReadable, 0}};
        const size_t count = m_listen != loopback::kNoSocket ? 2 : 1;
        if (loopback::Poll(entries, count, -1) < 0) {
            break;
        }
        if (entries[0].revents & loopback::kReadable) {
            loopback::Drain(m_wakeWait);
        }
        if (m_stopRequested) {
            break;
        }
        if (m_unplugRequested) {
            WithdrawSocket();
            continue;
        }
        if (count == 2 && (entries[1].revents & loopback::kReadable)) {
            loopback::Socket connection = loopback::Accept(m_listen);
            if (connection != loopback::kNoSocket) {
                Serve(connection);
            }
        }
    }
}

void CDeviceEmulator::Record(CCommandRecord record) {
    std::lock_guard lock(m_mutex);
    m_log.push_back(std::move(record));
    m_changed.notify_all();
}

void CDeviceEmulator::Serve(loopback::Socket& connection) {
    bool carried = false;
    {
        CSession session(*this, connection);
        if (session.Admitted() && CCommands(*this, session).ServeAll()) {
            m_unplugRequested = true;
        }
        carried = session.Carried();
    }
    // A device that is pulled out resets the connection, so the tool's next
    // send fails at once on a stream too; it is gone before anyone sees it unplugged.
    if (m_unplugRequested) {
        loopback::Abort(connection);
    } else {
        loopback::Close(connection);
    }
    {
        std::lock_guard lock(m_mutex);
        if (carried) {
            ++m_status.sessionsEnded;
        }
        m_changed.notify_all();
    }
    if (m_unplugRequested && !m_stopRequested) {
        WithdrawSocket();
    }
}

CEmulatorStatus CDeviceEmulator::Status() const {
    std::lock_guard lock(m_mutex);
    return m_status;
}

bool CDeviceEmulator::WaitFor(const std::function<bool(const CEmulatorStatus&)>& condition,
                              std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return condition(m_status); });
}

bool CDeviceEmulator::WaitForSessionsEnded(uint64_t count, std::chrono::milliseconds limit) const {
    if (m_config.transport == EmulatorTransport::Gadget) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(
            lock, limit, [&] { return m_status.sessionsEnded >= count && SettledLocked(); });
    }
    return WaitFor([count](const CEmulatorStatus& s) { return s.sessionsEnded >= count; }, limit);
}

std::vector<uint8_t> CDeviceEmulator::ReadMemory(uint32_t address, size_t length) const {
    std::lock_guard lock(m_mutex);
    return m_memory.Read(address, length);
}

void CDeviceEmulator::WriteMemory(uint32_t address, const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(m_mutex);
    m_memory.Write(address, bytes);
}

std::vector<CCommandRecord> CDeviceEmulator::CommandLog() const {
    std::lock_guard lock(m_mutex);
    return m_log;
}

std::string CDeviceEmulator::FormatCommandLog() const {
    std::string text;
    for (const CCommandRecord& record : CommandLog()) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "#%" PRIu64 " %-14s word=0x%08" PRIx32 " addr=0x%08" PRIx32
                      " sum=0x%08" PRIx32 " payloads=%d ",
                      record.sequence, record.sequence ? CommandName(record.word) : "-",
                      record.word, record.address, record.checksum, record.payloads);
        text += line;
        text += record.outcome;
        text += '\n';
    }
    return text;
}

bool CDeviceEmulator::DumpMemory(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    return m_memory.Dump(path);
}

bool CDeviceEmulator::WriteCommandLog(const std::string& path) const {
    const std::string text = FormatCommandLog();
    std::ofstream file(path, std::ios::trunc);
    file << text;
    file.close();
    return !file.fail();
}

}  // namespace teelink
