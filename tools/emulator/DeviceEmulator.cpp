#include "emulator/DeviceEmulator.h"

#ifndef _WIN32
#include <poll.h>
#endif

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include "common/ByteOrder.h"
#include "device/EmulatorBus.h"
#include "device/Protocol.h"
#include "emulator/DeviceCommands.h"
#include "emulator/EmulatorSession.h"
#include "emulator/EmulatorTransport.h"

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
    m_transport = MakeEmulatorTransport(m_config.transport);
    if (!m_transport->Open(m_config, error)) {
        m_transport.reset();
        loopback::Close(m_wakeWait);
        loopback::Close(m_wakeNotify);
        return Fail(error);
    }
    m_socketPath = m_transport->Where();
    m_devicePath = m_transport->DevicePath();
    m_hostPath = m_transport->HostPath();
    m_stopRequested = false;
    m_unplugRequested = false;
    {
        std::lock_guard lock(m_mutex);
        m_status.plugged = true;
        m_watchFd = m_transport->PendingFd();
        m_idle = false;
    }
    m_thread = std::thread([this] { Run(); });
    return true;
}

bool CDeviceEmulator::Fail(std::string text) {
    std::lock_guard lock(m_mutex);
    m_lastError = std::move(text);
    return false;
}

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
    {
        std::lock_guard lock(m_mutex);
        m_watchFd = -1;
    }
    if (m_transport) {
        m_transport->Withdraw();
    }
    std::lock_guard lock(m_mutex);
    if (m_status.plugged) {
        m_status.plugged = false;
        m_changed.notify_all();
    }
}

void CDeviceEmulator::Run() {
    while (!m_stopRequested) {
        if (!m_unplugRequested) {
            if (std::unique_ptr<CEmulatorLink> link = m_transport->Accept()) {
                Serve(*link);
                continue;
            }
        }
        // Unplugged, or nobody can reach the device any more (a gadget's one
        // connection has ended): it is off the bus until stopped.
        if (m_unplugRequested || !m_transport->Reachable()) {
            WithdrawSocket();
        }
        if (!Await()) {
            return;
        }
    }
}

bool CDeviceEmulator::Await() {
    loopback::PollEntry entries[2] = {{m_wakeWait, loopback::kReadable, 0},
                                      {m_transport->Listener(), loopback::kReadable, 0}};
    const size_t count = entries[1].socket != loopback::kNoSocket ? 2 : 1;
    if (loopback::Poll(entries, count, -1) < 0) {
        return false;
    }
    if (entries[0].revents & loopback::kReadable) {
        loopback::Drain(m_wakeWait);
    }
    return true;
}

void CDeviceEmulator::Record(CCommandRecord record) {
    std::lock_guard lock(m_mutex);
    m_log.push_back(std::move(record));
    m_changed.notify_all();
}

void CDeviceEmulator::Serve(CEmulatorLink& link) {
    bool carried = false;
    {
        CSession session(*this, link);
        if (session.Admitted() && CCommands(*this, session).ServeAll()) {
            session.Flush();
            m_unplugRequested = true;
        }
        carried = session.CarriedSinceIdle();
    }
    // A device that is pulled out is gone before anyone sees it unplugged.
    link.End(m_unplugRequested);
    SetIdle(true, carried);
}

void CDeviceEmulator::SetIdle(bool idle, bool carried) {
    std::lock_guard lock(m_mutex);
    if (idle && carried) {
        ++m_status.sessionsEnded;
    }
    m_idle = idle;
    m_changed.notify_all();
}

bool CDeviceEmulator::SettledLocked() const {
    if (!m_status.plugged || m_watchFd < 0) {
        return true;  // nothing more will be served
    }
    if (!m_idle) {
        return false;
    }
#ifdef _WIN32
    return true;
#else
    // What the tool wrote is in the node before its write returns: a command
    // sent but not yet read is seen here.
    pollfd entry{m_watchFd, POLLIN, 0};
    return poll(&entry, 1, 0) == 0;
#endif
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
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit,
                              [&] { return m_status.sessionsEnded >= count && SettledLocked(); });
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
