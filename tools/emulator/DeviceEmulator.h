#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/DeviceList.h"
#include "device/EmulatorBus.h"
#include "device/LoopbackSocket.h"
#include "emulator/DeviceMemory.h"

namespace teelink {

class CEmulatorLink;
class CEmulatorTransport;
enum class LinkIo;

// Faults a test or a demonstration can ask the device for. Command selectors
// take a command code, or ANY_COMMAND.
struct CEmulatorFaults {
    static constexpr uint8_t ANY_COMMAND = 0xFF;

    std::optional<uint8_t> noAckFor;      // takes the command, never answers
    std::optional<uint8_t> refuseAckFor;  // answers with a word other than the ACK word
    // In a data phase (block read, favourites read, block write) the device stops
    // after this many payloads: it neither sends nor takes another report.
    std::optional<int> stallAfterPayloads;
    bool noFinalAck = false;  // a block write is stored but never confirmed
    bool ignoreEnd = false;   // the end command has no effect
    // A block write is confirmed, but stored with its first byte inverted: a
    // device whose flash does not hold what it was given.
    bool alterStored = false;
    // After answering this many commands the device drops off the bus: its
    // socket goes, and the tool cannot send it anything more.
    std::optional<int> unplugAfterCommands;
    // The faults above, but unplugging, act only from this command on (1 is
    // the first command of the device's life): a device that fails midway.
    std::optional<uint64_t> fromCommand;
};

struct CMemoryPreload {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

// Where the emulated device is found: a file of the emulator bus of either kind,
// or the device end of a Linux USB HID gadget, where the device is a real USB
// device that the tool finds and opens through hidapi. Each is a transport
// class of its own (emulator/EmulatorTransport.h), made once when the device
// starts.
enum class EmulatorTransport { Socket, Tcp, Gadget };

struct CEmulatorConfig {
    std::string busDir;
    std::string label = "zorvik";
#ifdef _WIN32
    EmulatorTransport transport = EmulatorTransport::Tcp;
#else
    EmulatorTransport transport = EmulatorTransport::Socket;
#endif
    // The gadget kind: the device ends (/dev/hidgN) the device may take, the
    // first free one when it starts.
    std::vector<std::string> gadgets;
    uint16_t vendorId = ZORVIK_VENDOR_ID;
    uint16_t productId = ZORVIK_PRODUCT_ID;

    std::array<uint8_t, 32> identity{};     // see MakeIdentityRecord
    std::array<uint8_t, 240> favorites{};   // 16 entries of 15 bytes
    std::optional<std::string> courseDate;  // six characters; nullopt: no course data header
    std::vector<uint8_t> logImage;          // placed at the log address; empty: erased
    std::vector<CMemoryPreload> preloads;   // applied after the above, in order
    unsigned reportIntervalUs = 0;          // at most one report per interval
    CEmulatorFaults faults;
};

// An identity record: "TL", the model's three bytes ("R7 ", "R8 ", "KS2"), the
// hardware code (up to 3 bytes) at 7 and the system version (up to 5 bytes) at 11.
std::array<uint8_t, 32> MakeIdentityRecord(const std::string& model,
                                           const std::string& hardwareCode,
                                           const std::string& systemVersion);

// Entry `slot` (0 to 15) of a favourites table: n and g little-endian, s, and
// up to ten date characters (the rest zero).
void SetFavoriteEntry(std::array<uint8_t, 240>& table, size_t slot, uint16_t n, uint8_t s,
                      uint16_t g, const std::string& date);

// A device configured as an R7 (on the transport TEELINK_EMULATOR_TRANSPORT
// names, "tcp", "socket" or "gadget", when it is set; a gadget device takes one of
// the nodes TEELINK_EMULATOR_GADGETS lists, separated by commas) with course data dated 170315 and
// the sample favourites: slot 1 as new as the sample server's data, slots 2 and 5 older (slot 5 a
// Holeview course), slot 3 a course the sample server does not know.
CEmulatorConfig DefaultEmulatorConfig(std::string busDir);

// The gadget nodes TEELINK_EMULATOR_GADGETS lists (default /dev/hidg0).
std::vector<std::string> GadgetsFromEnvironment();

// One command as the device saw it.
struct CCommandRecord {
    uint64_t sequence = 0;  // 1, 2, ... over the device's life
    uint32_t word = 0;
    uint32_t address = 0;
    uint32_t checksum = 0;
    int payloads = 0;     // data payloads moved
    std::string outcome;  // "ok", "refused: checksum", "fault: no ack", ...
};

struct CEmulatorStatus {
    uint64_t commands = 0;  // commands received
    // Connections that carried at least one report. A USB device cannot see
    // the host close its handle: on a gadget a session ends each time the
    // device, having moved reports, waits for a command with none to read.
    uint64_t sessionsEnded = 0;
    uint64_t endCommands = 0;  // end commands acted on
    uint64_t payloads = 0;     // data payloads moved either way, over the device's life
    bool plugged = false;
};

// One emulated device, served by its own thread, one connection at a time, on
// the transport its configuration names. All public members are safe to call
// from any thread.
class CDeviceEmulator {
public:
    explicit CDeviceEmulator(CEmulatorConfig config);
    ~CDeviceEmulator();
    CDeviceEmulator(const CDeviceEmulator&) = delete;
    CDeviceEmulator& operator=(const CDeviceEmulator&) = delete;

    // Creates the bus directory if needed and starts listening. False with
    // LastError() when the listener cannot be made or another device holds its name.
    bool Start();
    // Stops serving and removes the bus file; safe to call twice.
    void Stop();
    // Drops off the bus now: the connection and the bus file go. Returns when done.
    void Unplug();

    // The bus file (the socket itself, or the .tcp announcement), or the
    // gadget's device node.
    const std::string& SocketPath() const { return m_socketPath; }
    const std::string& DevicePath() const { return m_devicePath; }  // as the device list shows it
    // The host's own node of the device (a gadget's hidraw node), or "" where
    // the tool reaches the device through SocketPath() itself.
    const std::string& HostPath() const { return m_hostPath; }
    std::string LastError() const;

    CEmulatorStatus Status() const;
    // Waits until condition holds (checked on every change) or limit passes.
    bool WaitFor(const std::function<bool(const CEmulatorStatus&)>& condition,
                 std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // On a gadget also waits until the device has nothing left to read and
    // waits for a command: everything the tool sent has been served.
    bool WaitForSessionsEnded(uint64_t count,
                              std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

    // A written block is in memory before its final acknowledgement leaves; a
    // command's log entry appears once the device is done with it, so wait for
    // the session to end before reading the log.
    std::vector<uint8_t> ReadMemory(uint32_t address, size_t length) const;
    void WriteMemory(uint32_t address, const std::vector<uint8_t>& bytes);
    std::vector<CCommandRecord> CommandLog() const;
    std::string FormatCommandLog() const;
    bool DumpMemory(const std::string& path) const;
    bool WriteCommandLog(const std::string& path) const;

private:
    using Io = LinkIo;
    class CSession;
    class CCommands;

    bool Fail(std::string text);  // false, with the error kept for LastError
    void Run();
    // Waits for a wake-up or, while the device can be reached, a connection;
    // false when polling fails.
    bool Await();
    void Serve(CEmulatorLink& link);  // and ends it
    // The session's device waits for a command with nothing to read (idle) or
    // is about to read again; sessions are counted on the way to idle.
    void SetIdle(bool idle, bool carried);
    bool SettledLocked() const;  // idle with nothing to read; m_mutex held
    void Wake(char why);
    void WithdrawSocket();
    void Record(CCommandRecord record);
    bool WakeRequested();

    CEmulatorConfig m_config;
    std::unique_ptr<CEmulatorTransport> m_transport;  // from Start on
    // The transport's paths, kept for the device's life.
    std::string m_socketPath;
    std::string m_devicePath;
    std::string m_hostPath;

    mutable std::mutex m_mutex;  // guards everything below
    mutable std::condition_variable m_changed;
    CDeviceMemory m_memory;
    std::vector<CCommandRecord> m_log;
    CEmulatorStatus m_status;
    std::string m_lastError;
    bool m_idle = false;
    int m_watchFd = -1;  // the transport's PendingFd while plugged, for SettledLocked

    std::thread m_thread;
    loopback::Socket m_wakeWait = loopback::kNoSocket;
    loopback::Socket m_wakeNotify = loopback::kNoSocket;
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_unplugRequested{false};
};

}  // namespace teelink
