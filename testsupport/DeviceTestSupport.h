#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/JobContext.h"
#include "device/DeviceChannel.h"
#include "device/DeviceList.h"
#include "emulator/DeviceEmulator.h"
#include "emulator/GadgetPort.h"
#include "testsupport/Files.h"
#include "testsupport/Recorders.h"

namespace teelink {

// A private emulator bus directory, removed with everything in it.
class CTempBus {
public:
    CTempBus();
    ~CTempBus();
    CTempBus(const CTempBus&) = delete;
    CTempBus& operator=(const CTempBus&) = delete;
    const std::string& Dir() const { return m_dir; }

private:
    CTempDir m_folder{"tlbus"};
    std::string m_dir;
};

// Whether the emulated devices of this run use the tcp transport (always on
// Windows; on request elsewhere), where a report is a frame of a stream and
// a message of another length cannot be sent.
inline bool StreamTransport() {
    return DefaultEmulatorConfig("").transport == EmulatorTransport::Tcp;
}

// Generous enough for a loaded machine; a transfer that is meant to fail waits
// for kFaultTimeoutMs instead.
inline constexpr int kNormalTimeoutMs = 5000;
inline constexpr int kFaultTimeoutMs = 400;

CDeviceBusConfig BusOnly(const std::string& dir, int timeoutMs = kNormalTimeoutMs);

// Whether the emulated devices of this run are on USB HID gadgets
// (TEELINK_EMULATOR_TRANSPORT=gadget, inside the kernel test's guest): the
// tool then finds them through hidapi like real devices.
inline bool GadgetTransport() {
    return DefaultEmulatorConfig("").transport == EmulatorTransport::Gadget;
}

// Where the tool looks for the devices a test starts: the private bus, or
// hidapi alone when the devices are on gadgets.
CDeviceBusConfig DevicesUnderTest(const std::string& busDir, int timeoutMs = kNormalTimeoutMs);

// Why the running test cannot apply to devices on gadgets, or "" when it can
// (tests/device/GadgetSkips.cpp).
std::string GadgetSkipReason();

// Emulated devices on a private bus and a device list that sees only them.
class DeviceTest : public ::testing::Test {
protected:
    // Skips, on gadgets, what cannot apply there.
    void SetUp() override;
    CEmulatorConfig Config() const { return DefaultEmulatorConfig(m_bus.Dir()); }
    // On gadgets a test's devices take turns: starting one pulls out the others.
    CDeviceEmulator& StartDevice(CEmulatorConfig config);
    CDeviceEmulator& StartDevice() { return StartDevice(Config()); }
    // Device list limits for transfers that are expected to time out.
    void UseShortTimeout() { m_list = CDeviceList(DevicesUnderTest(m_bus.Dir(), kFaultTimeoutMs)); }
    // Enumerates, expects exactly one device, opens a channel on it.
    void Connect(CDeviceChannel& channel);
    // Enumerates and gives the one device found (the empty value for none).
    CDevice TheDevice();
    // A job's context on `device`, stopped through m_stop.
    CJobContext Context(const CDevice& device) {
        return CJobContext{device, CServerSettings{}, m_stop};
    }

    CTempBus m_bus;
    CDeviceList m_list{DevicesUnderTest(m_bus.Dir())};
    CRecordingNotifier m_notifier;
    CStopSource m_stop;
    std::vector<std::unique_ptr<CDeviceEmulator>> m_devices;
};

std::vector<uint8_t> Pattern(size_t size, uint8_t seed);

// Announces a tcp device at a port whose listener has gone.
void WriteDeadAnnouncement(const std::string& path);

// A hand-driven device for checking the bytes on the wire and for answers that
// no well-behaved device gives. The test thread plays the device while the
// operation under test runs on another thread. On a gadget (when the run's
// devices are there) the report id never travels: Receive puts the 0 the
// tool sends in front of the 64 bytes that came, and Send leaves out byte 0.
class CRawDevice {
public:
    explicit CRawDevice(const std::string& busDir, const std::string& label = "raw",
                        bool stream = StreamTransport());
    ~CRawDevice();
    CRawDevice(const CRawDevice&) = delete;
    CRawDevice& operator=(const CRawDevice&) = delete;

    std::string DevicePath() const { return m_gadget ? m_gadget->HostPath() : "emu:" + m_path; }
    // Takes the tool's connection (and on tcp its token); nothing on a gadget.
    void Accept();
    // The next message, whatever its length (on tcp the next 65 bytes); empty
    // when none came in time.
    std::vector<uint8_t> Receive();
    void Send(const std::vector<uint8_t>& message);
    // Hangs up at once, as a device pulled out.
    void Drop();

private:
    std::vector<uint8_t> ReceiveBytes(size_t size);
    std::vector<uint8_t> ReceiveFromGadget();
    void SendToGadget(const std::vector<uint8_t>& message);

    std::unique_ptr<CGadgetPort> m_gadget;
    bool m_stream;
    std::string m_path;
    std::string m_token;
    loopback::Socket m_listen = loopback::kNoSocket;
    loopback::Socket m_connection = loopback::kNoSocket;
};

// A 65-byte input report whose payload starts with word.
std::vector<uint8_t> ReportWithWord(uint32_t word);

}  // namespace teelink
