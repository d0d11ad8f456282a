#include "emulator/DeviceEmulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/ByteOrder.h"
#include "device/EmulatorBus.h"
#include "device/Protocol.h"
#include "emulator/DeviceCommands.h"
#include "emulator/EmulatorSession.h"

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

void CloseFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
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
    const int fd = ListenOnBus(error);
    if (fd < 0) {
        return Fail(error);
    }
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        close(fd);
        unlink(m_socketPath.c_str());
        return Fail(std::string("pipe: ") + std::strerror(errno));
    }
    m_listenFd = fd;
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];
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
    const std::string name =
        emubus::MakeSocketName(m_config.vendorId, m_config.productId, m_config.label);
    if (name.empty()) {
        error = "label must be letters, digits, '-' and '_': " + m_config.label;
        return false;
    }
    std::error_code ec;
    fs::create_directories(m_config.busDir, ec);
    const fs::path dir = fs::absolute(m_config.busDir, ec).lexically_normal();
    if (ec) {
        error = "bus directory " + m_config.busDir + ": " + ec.message();
        return false;
    }
    m_socketPath = (dir / name).string();
    return true;
}

int CDeviceEmulator::ListenOnBus(std::string& error) {
    if (!MakeSocketPath(error)) {
        return -1;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_socketPath.size() >= sizeof address.sun_path) {
        error = "socket path too long: " + m_socketPath;
        return -1;
    }
    std::memcpy(address.sun_path, m_socketPath.c_str(), m_socketPath.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    if (!Bind(fd, address, error)) {
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

bool CDeviceEmulator::Bind(int fd, const sockaddr_un& address, std::string& error) {
    const auto* raw = reinterpret_cast<const sockaddr*>(&address);
    if (bind(fd, raw, sizeof address) == 0) {
        return true;
    }
    // A socket file left by a device that ended without cleaning up is stale
    // when nobody answers on it.
    if (errno == EADDRINUSE) {
        const int probe = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        const bool live = probe >= 0 && connect(probe, raw, sizeof address) == 0;
        if (probe >= 0) {
            close(probe);
        }
        if (live) {
            error = "another device is listening on " + m_socketPath;
            return false;
        }
        unlink(m_socketPath.c_str());
        if (bind(fd, raw, sizeof address) == 0) {
            return true;
        }
    }
    error = "bind " + m_socketPath + ": " + std::strerror(errno);
    return false;
}

void CDeviceEmulator::Stop() {
    if (m_thread.joinable()) {
        m_stopRequested = true;
        const char byte = 's';
        [[maybe_unused]] const ssize_t ignored = write(m_wakeWrite, &byte, 1);
        m_thread.join();
    }
    WithdrawSocket();
    CloseFd(m_wakeRead);
    CloseFd(m_wakeWrite);
}

void CDeviceEmulator::Unplug() {
    if (!m_thread.joinable()) {
        WithdrawSocket();
        return;
    }
    m_unplugRequested = true;
    const char byte = 'u';
    [[maybe_unused]] const ssize_t ignored = write(m_wakeWrite, &byte, 1);
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_status.plugged; });
}

bool CDeviceEmulator::WakeRequested() {
    return m_stopRequested.load() || m_unplugRequested.load();
}

void CDeviceEmulator::WithdrawSocket() {
    if (m_listenFd >= 0) {
        CloseFd(m_listenFd);
        unlink(m_socketPath.c_str());
    }
    std::lock_guard lock(m_mutex);
    if (m_status.plugged) {
        m_status.plugged = false;
        m_changed.notify_all();
    }
}

void CDeviceEmulator::Run() {
    for (;;) {
        pollfd fds[2] = {{m_wakeRead, POLLIN, 0}, {m_listenFd, POLLIN, 0}};
        const nfds_t count = m_listenFd >= 0 ? 2 : 1;
        if (poll(fds, count, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[0].revents & POLLIN) {
            char drain[16];
            while (read(m_wakeRead, drain, sizeof drain) > 0) {
            }
        }
        if (m_stopRequested) {
            break;
        }
        if (m_unplugRequested) {
            WithdrawSocket();
            continue;
        }
        if (count == 2 && (fds[1].revents & POLLIN)) {
            const int connection = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) {
                Serve(connection);
                close(connection);
            }
        }
    }
}

void CDeviceEmulator::Record(CCommandRecord record) {
    std::lock_guard lock(m_mutex);
    m_log.push_back(std::move(record));
    m_changed.notify_all();
}

void CDeviceEmulator::Serve(int connection) {
    CSession session(*this, connection);
    if (CCommands(*this, session).ServeAll()) {
        m_unplugRequested = true;
    }
    {
        std::lock_guard lock(m_mutex);
        if (session.Carried()) {
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
