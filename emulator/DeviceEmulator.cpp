#include "emulator/DeviceEmulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "device/EmulatorBus.h"
#include "device/Protocol.h"

namespace {

// The word of a refused acknowledgement: anything but the ACK word will do.
constexpr uint32_t REFUSAL_WORD = 0x55555555;
// Acknowledgement bytes after the identity record carry no meaning; a real
// device leaves whatever is there.
constexpr uint8_t ACK_TAIL_FILL = 0xEE;

bool Selects(const std::optional<uint8_t>& selector, uint8_t code) {
    return selector && (*selector == code || *selector == CEmulatorFaults::ANY_COMMAND);
}

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

CEmulatorConfig DefaultEmulatorConfig(std::string busDir) {
    CEmulatorConfig config;
    config.busDir = std::move(busDir);
    config.identity = MakeIdentityRecord("R7", "A01", "1.05");
    config.courseDate = "170315";
    return config;
}

// The device's side of one connection: whole reports, paced, and interrupted
// by a stop or unplug request.
class CDeviceEmulator::CSession {
public:
    CSession(CDeviceEmulator& owner, int fd) : m_owner(owner), m_fd(fd) {}

    bool Carried() const { return m_carried; }

    Io Receive(uint8_t payload[REPORT_PAYLOAD_SIZE]) {
        for (;;) {
            Pace();
            if (const Io io = WaitFor(POLLIN); io != Io::Ok) {
                return io;
            }
            uint8_t message[REPORT_SIZE];
            const ssize_t got = recv(m_fd, message, sizeof message, MSG_DONTWAIT | MSG_TRUNC);
            if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
                continue;
            }
            if (got <= 0) {
                return Io::Closed;
            }
            m_carried = true;
            Transferred();
            if (got != static_cast<ssize_t>(REPORT_SIZE)) {
                CCommandRecord record;
                record.outcome = "ignored: report of " + std::to_string(got) + " bytes";
                m_owner.Record(std::move(record));
                continue;
            }
            std::memcpy(payload, message + 1, REPORT_PAYLOAD_SIZE);
            return Io::Ok;
        }
    }

    Io Send(const uint8_t payload[REPORT_PAYLOAD_SIZE]) {
        uint8_t message[REPORT_SIZE] = {};
        std::memcpy(message + 1, payload, REPORT_PAYLOAD_SIZE);
        for (;;) {
            Pace();
            const ssize_t sent = send(m_fd, message, sizeof message, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent == static_cast<ssize_t>(sizeof message)) {
                Transferred();
                return Io::Ok;
            }
            if (sent < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (const Io io = WaitFor(POLLOUT); io != Io::Ok) {
                    return io;
                }
                continue;
            }
            return Io::Closed;
        }
    }

    // Neither sends nor takes anything until the tool hangs up.
    Io Stall() {
        for (;;) {
            pollfd fds[2] = {{m_owner.m_wakeRead, POLLIN, 0}, {m_fd, 0, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return Io::Closed;
            }
            if ((fds[0].revents & POLLIN) && m_owner.WakeRequested()) {
                return Io::Stopped;
            }
            if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                return Io::Closed;
            }
        }
    }

    // From now on the tool's writes fail at once, as they do on a device that
    // has gone; what the device still sends stays readable.
    void StopTaking() { shutdown(m_fd, SHUT_RD); }

private:
    Io WaitFor(short events) {
        for (;;) {
            pollfd fds[2] = {{m_owner.m_wakeRead, POLLIN, 0}, {m_fd, events, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return Io::Closed;
            }
            // Unplugging is immediate; a stop first lets the device finish what
            // the tool has already sent, such as a last end command.
            if ((fds[0].revents & POLLIN) && m_owner.m_unplugRequested) {
                return Io::Stopped;
            }
            if (fds[1].revents != 0) {
                return Io::Ok;  // ready, or hung up: the transfer itself tells
            }
            if ((fds[0].revents & POLLIN) && m_owner.m_stopRequested) {
                return Io::Stopped;
            }
        }
    }

    // At most one report per interval, whichever direction it goes.
    void Pace() {
        if (m_owner.m_config.reportIntervalUs == 0) {
            return;
        }
        std::this_thread::sleep_until(m_nextSlot);
    }
    void Transferred() {
        if (m_owner.m_config.reportIntervalUs == 0) {
            return;
        }
        // Slots keep to a fixed grid while reports stream, as USB frames do, so a
        // late wake-up does not push every later report back; after a pause the
        // grid starts again from now.
        const auto now = std::chrono::steady_clock::now();
        const auto interval = std::chrono::microseconds(m_owner.m_config.reportIntervalUs);
        m_nextSlot += interval;
        if (m_nextSlot <= now) {
            m_nextSlot = now + interval;
        }
    }

    CDeviceEmulator& m_owner;
    int m_fd;
    bool m_carried = false;
    std::chrono::steady_clock::time_point m_nextSlot{};
};

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
    namespace fs = std::filesystem;
    const auto fail = [this](std::string text) {
        std::lock_guard lock(m_mutex);
        m_lastError = std::move(text);
        return false;
    };
    if (m_thread.joinable()) {
        return fail("already started");
    }
    if (m_config.busDir.empty()) {
        return fail("no bus directory (this build has no default one)");
    }
    const std::string name =
        emubus::MakeSocketName(m_config.vendorId, m_config.productId, m_config.label);
    if (name.empty()) {
        return fail("label must be letters, digits, '-' and '_': " + m_config.label);
    }
    std::error_code error;
    fs::create_directories(m_config.busDir, error);
    const fs::path dir = fs::absolute(m_config.busDir, error).lexically_normal();
    if (error) {
        return fail("bus directory " + m_config.busDir + ": " + error.message());
    }
    m_socketPath = (dir / name).string();

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_socketPath.size() >= sizeof address.sun_path) {
        return fail("socket path too long: " + m_socketPath);
    }
    std::memcpy(address.sun_path, m_socketPath.c_str(), m_socketPath.size() + 1);

    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return fail(std::string("socket: ") + std::strerror(errno));
    }
    const auto* raw = reinterpret_cast<const sockaddr*>(&address);
    if (bind(fd, raw, sizeof address) != 0) {
        // A socket file left by a device that ended without cleaning up is stale
        // when nobody answers on it.
        bool retried = false;
        if (errno == EADDRINUSE) {
            const int probe = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
            const bool live = probe >= 0 && connect(probe, raw, sizeof address) == 0;
            if (probe >= 0) {
                close(probe);
            }
            if (live) {
                close(fd);
                return fail("another device is listening on " + m_socketPath);
            }
            unlink(m_socketPath.c_str());
            retried = bind(fd, raw, sizeof address) == 0;
        }
        if (!retried) {
            const std::string text = std::strerror(errno);
            close(fd);
            return fail("bind " + m_socketPath + ": " + text);
        }
    }
    if (listen(fd, 8) != 0) {
        const std::string text = std::strerror(errno);
        close(fd);
        unlink(m_socketPath.c_str());
        return fail("listen: " + text);
    }
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        close(fd);
        unlink(m_socketPath.c_str());
        return fail(std::string("pipe: ") + std::strerror(errno));
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
    const CEmulatorFaults& configured = m_config.faults;
    CEmulatorFaults faults = configured;  // the faults in force for the current command
    Io io = Io::Ok;
    bool unplugNow = false;

    // The acknowledgement that opens every command but the end notice.
    const auto acknowledge = [&](uint8_t code, CCommandRecord& record,
                                 const uint8_t* identity) -> bool {
        if (Selects(faults.noAckFor, code)) {
            record.outcome = "fault: no ack";
            io = session.Stall();
            return false;
        }
        uint8_t ack[REPORT_PAYLOAD_SIZE] = {};
        const bool refuse = Selects(faults.refuseAckFor, code);
        StoreLe32(ack, refuse ? REFUSAL_WORD : ACK_WORD);
        if (identity != nullptr) {
            std::memcpy(ack + IDENTITY_ACK_OFFSET, identity, IDENTITY_RECORD_SIZE);
            std::memset(ack + IDENTITY_ACK_OFFSET + IDENTITY_RECORD_SIZE, ACK_TAIL_FILL,
                        REPORT_PAYLOAD_SIZE - IDENTITY_ACK_OFFSET - IDENTITY_RECORD_SIZE);
        }
        io = session.Send(ack);
        if (refuse) {
            record.outcome = "fault: refused ack";
            return false;
        }
        return io == Io::Ok;
    };
    // Sends payloads of bytes, stopping where the stall fault says.
    const auto sendPayloads = [&](const std::vector<uint8_t>& bytes, CCommandRecord& record) {
        for (size_t offset = 0; offset < bytes.size(); offset += REPORT_PAYLOAD_SIZE) {
            if (faults.stallAfterPayloads && record.payloads == *faults.stallAfterPayloads) {
                record.outcome = "fault: stalled after " + std::to_string(record.payloads);
                io = session.Stall();
                return;
            }
            if ((io = session.Send(bytes.data() + offset)) != Io::Ok) {
                record.outcome = "abandoned after " + std::to_string(record.payloads);
                return;
            }
            ++record.payloads;
        }
        record.outcome = "ok";
    };

    while (io == Io::Ok && !unplugNow) {
        uint8_t command[REPORT_PAYLOAD_SIZE];
        if ((io = session.Receive(command)) != Io::Ok) {
            break;
        }
        CCommandRecord record;
        record.word = LoadLe32(command);
        record.address = LoadLe32(command + 4);
        record.checksum = LoadLe32(command + 8);
        {
            std::lock_guard lock(m_mutex);
            record.sequence = ++m_status.commands;
            m_changed.notify_all();  // watchers may act while the command is served
        }
        faults = configured.fromCommand && record.sequence < *configured.fromCommand
                     ? CEmulatorFaults{}
                     : configured;
        unplugNow = configured.unplugAfterCommands &&
                    record.sequence >= static_cast<uint64_t>(*configured.unplugAfterCommands);

        switch (record.word) {
            case CommandWord(CMD_READ_IDENTITY):
                if (unplugNow) {
                    session.StopTaking();
                }
                if (acknowledge(CMD_READ_IDENTITY, record, m_config.identity.data())) {
                    record.outcome = "ok";
                }
                break;
            case CommandWord(CMD_READ_BLOCK): {
                if (unplugNow) {
                    session.StopTaking();
                }
                if (acknowledge(CMD_READ_BLOCK, record, nullptr)) {
                    sendPayloads(ReadMemory(record.address, BLOCK_SIZE), record);
                }
                break;
            }
            case CommandWord(CMD_READ_FAVORITES): {
                if (unplugNow) {
                    session.StopTaking();
                }
                if (acknowledge(CMD_READ_FAVORITES, record, nullptr)) {
                    std::vector<uint8_t> transfer(FAVORITES_TRANSFER_SIZE, 0);
                    std::copy(m_config.favorites.begin(), m_config.favorites.end(),
                              transfer.begin());
                    sendPayloads(transfer, record);
                }
                break;
            }
            case CommandWord(CMD_WRITE_BLOCK): {
                if (!acknowledge(CMD_WRITE_BLOCK, record, nullptr)) {
                    break;
                }
                std::vector<uint8_t> block(BLOCK_SIZE);
                for (size_t k = 0; k < PAYLOADS_PER_BLOCK; ++k) {
                    if (faults.stallAfterPayloads &&
                        record.payloads == *faults.stallAfterPayloads) {
                        record.outcome = "fault: stalled after " + std::to_string(record.payloads);
                        io = session.Stall();
                        break;
                    }
                    if ((io = session.Receive(block.data() + k * REPORT_PAYLOAD_SIZE)) != Io::Ok) {
                        record.outcome = "abandoned after " + std::to_string(record.payloads);
                        break;
                    }
                    ++record.payloads;
                }
                if (record.payloads != static_cast<int>(PAYLOADS_PER_BLOCK)) {
                    break;
                }
                uint8_t ack[REPORT_PAYLOAD_SIZE] = {};
                if (BlockChecksum(block.data()) != record.checksum) {
                    // Flash is not touched with a block that arrived damaged.
                    record.outcome = "refused: checksum";
                    StoreLe32(ack, REFUSAL_WORD);
                } else {
                    WriteMemory(record.address, block);
                    record.outcome = "ok";
                    StoreLe32(ack, ACK_WORD);
                    if (faults.noFinalAck) {
                        record.outcome = "fault: stored, no final ack";
                        io = session.Stall();
                        break;
                    }
                }
                if (unplugNow) {
                    session.StopTaking();
                }
                io = session.Send(ack);
                break;
            }
            case CommandWord(CMD_END):
                if (unplugNow) {
                    session.StopTaking();
                }
                if (faults.ignoreEnd) {
                    record.outcome = "fault: ignored";
                } else {
                    record.outcome = "ok: firmware update started";
                    std::lock_guard lock(m_mutex);
                    ++m_status.endCommands;
                }
                break;
            default: {
                if (unplugNow) {
                    session.StopTaking();
                }
                uint8_t refusal[REPORT_PAYLOAD_SIZE] = {};
                StoreLe32(refusal, REFUSAL_WORD);
                io = session.Send(refusal);
                record.outcome = "refused: unknown command";
                break;
            }
        }
        Record(std::move(record));
    }

    if (unplugNow && io != Io::Stopped) {
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
