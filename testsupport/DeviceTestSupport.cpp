#include "testsupport/DeviceTestSupport.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/ByteOrder.h"
#include "device/Protocol.h"

namespace teelink {

CTempBus::CTempBus() {
    m_dir = m_folder.Path().string();
}

CTempBus::~CTempBus() = default;

CDeviceBusConfig BusOnly(const std::string& dir, int timeoutMs) {
    CDeviceBusConfig config;
    config.emulatorBusDir = dir;
    config.useHidapi = false;
    config.transferTimeoutMs = timeoutMs;
    return config;
}

CDeviceBusConfig DevicesUnderTest(const std::string& busDir, int timeoutMs) {
    CDeviceBusConfig config = BusOnly(busDir, timeoutMs);
    if (GadgetTransport()) {
        config.emulatorBusDir.clear();
        config.useHidapi = true;
    }
    return config;
}

void DeviceTest::SetUp() {
    if (const std::string why = GadgetSkipReason(); !why.empty()) {
        GTEST_SKIP() << why;
    }
}

CDeviceEmulator& DeviceTest::StartDevice(CEmulatorConfig config) {
    if (config.transport == EmulatorTransport::Gadget) {
        for (const auto& earlier : m_devices) {
            earlier->Stop();
        }
    }
    m_devices.push_back(std::make_unique<CDeviceEmulator>(std::move(config)));
    CDeviceEmulator& device = *m_devices.back();
    EXPECT_TRUE(device.Start()) << device.LastError();
    return device;
}

void DeviceTest::Connect(CDeviceChannel& channel) {
    ASSERT_EQ(m_list.Enumerate(), 1);
    ASSERT_TRUE(OpenChannel(m_list.Found().front(), channel));
}

CDevice DeviceTest::TheDevice() {
    EXPECT_EQ(m_list.Enumerate(), 1);
    return m_list.Found().empty() ? CDevice() : m_list.Found().front();
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    }
    return bytes;
}

namespace {

bool WaitReadable(loopback::Socket socket) {
    loopback::PollEntry entry{socket, loopback::kReadable, 0};
    return loopback::Poll(&entry, 1, 10'000) == 1;
}

}  // namespace

void WriteDeadAnnouncement(const std::string& path) {
    std::string error;
    uint16_t port = 0;
    loopback::Socket gone = loopback::Listen(port, 0, error);
    ASSERT_NE(gone, loopback::kNoSocket) << error;
    loopback::Close(gone);
    std::ofstream(path, std::ios::binary)
        << emubus::FormatAnnouncement({port, emubus::MakeToken()});
}

CRawDevice::CRawDevice(const std::string& busDir, const std::string& label, bool stream)
    : m_stream(stream),
      m_path(busDir + "/" +
             emubus::MakeSocketName(ZORVIK_VENDOR_ID, ZORVIK_PRODUCT_ID, label,
                                    m_stream ? emubus::Kind::Tcp : emubus::Kind::Socket)) {
    if (GadgetTransport()) {
        std::string error;
        m_gadget = CGadgetPort::Claim(DefaultEmulatorConfig("").gadgets, error);
        EXPECT_TRUE(m_gadget && m_gadget->Plug(ZORVIK_VENDOR_ID, ZORVIK_PRODUCT_ID, error))
            << error;
        return;
    }
    if (m_stream) {
        uint16_t port = 0;
        std::string error;
        m_listen = loopback::Listen(port, 0, error);
        EXPECT_NE(m_listen, loopback::kNoSocket) << error;
        m_token = emubus::MakeToken();
        std::ofstream(m_path, std::ios::binary) << emubus::FormatAnnouncement({port, m_token});
        return;
    }
#ifndef _WIN32
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", m_path.c_str());
    m_listen = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    EXPECT_EQ(bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(m_listen, 4), 0);
#endif
}

CRawDevice::~CRawDevice() {
    loopback::Close(m_connection);
    loopback::Close(m_listen);
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
}

void CRawDevice::Accept() {
    if (m_gadget) {
        return;  // USB has no connection: the device is there for anyone who opens it
    }
    ASSERT_TRUE(WaitReadable(m_listen));
    m_connection = loopback::Accept(m_listen);
    ASSERT_NE(m_connection, loopback::kNoSocket);
    if (m_stream) {
        // The tool's token first.
        std::vector<uint8_t> token = ReceiveBytes(emubus::kTokenSize);
        ASSERT_EQ(std::string(token.begin(), token.end()), m_token);
    }
}

std::vector<uint8_t> CRawDevice::ReceiveBytes(size_t size) {
    std::vector<uint8_t> bytes(size);
    size_t have = 0;
    loopback::ReceiveAll(m_connection, bytes.data(), size, have,
                         [&] { return WaitReadable(m_connection); });
    bytes.resize(have);
    return bytes;
}

std::vector<uint8_t> CRawDevice::Receive() {
    if (m_gadget) {
        return ReceiveFromGadget();
    }
    if (m_stream) {
        return ReceiveBytes(REPORT_SIZE);
    }
    if (!WaitReadable(m_connection)) {
        return {};
    }
    std::vector<uint8_t> message(256);
    const long got = loopback::Receive(m_connection, message.data(), message.size());
    message.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return message;
}

void CRawDevice::Send(const std::vector<uint8_t>& message) {
    if (m_gadget) {
        return SendToGadget(message);
    }
    EXPECT_EQ(loopback::Send(m_connection, message.data(), message.size()),
              static_cast<long>(message.size()));
}

std::vector<uint8_t> ReportWithWord(uint32_t word) {
    std::vector<uint8_t> report(REPORT_SIZE, 0);
    teelink::StoreLe32(report.data() + 1, word);
    return report;
}

void CRawDevice::Drop() {
    if (m_gadget) {
        m_gadget->Pull();
        return;
    }
    loopback::Abort(m_connection);
}

#ifdef _WIN32

std::vector<uint8_t> CRawDevice::ReceiveFromGadget() {
    return {};
}

void CRawDevice::SendToGadget(const std::vector<uint8_t>&) {}

#else

std::vector<uint8_t> CRawDevice::ReceiveFromGadget() {
    if (!WaitReadable(m_gadget->Fd())) {
        return {};
    }
    std::vector<uint8_t> message(256);
    const ssize_t got = read(m_gadget->Fd(), message.data() + 1, message.size() - 1);
    message.resize(got > 0 ? static_cast<size_t>(got) + 1 : 0);
    return message;
}

void CRawDevice::SendToGadget(const std::vector<uint8_t>& message) {
    // One report in flight: wait until the host has fetched the one before.
    loopback::PollEntry entry{m_gadget->Fd(), loopback::kWritable, 0};
    ASSERT_EQ(loopback::Poll(&entry, 1, 10'000), 1);
    const size_t size = message.empty() ? 0 : message.size() - 1;
    const ssize_t sent = write(m_gadget->Fd(), message.data() + (message.empty() ? 0 : 1), size);
    // The gadget's driver cuts a report to the length it was made with.
    EXPECT_EQ(sent, static_cast<ssize_t>(std::min<size_t>(size, REPORT_PAYLOAD_SIZE)));
}

#endif

}  // namespace teelink
