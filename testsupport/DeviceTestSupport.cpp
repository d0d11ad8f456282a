#include "testsupport/DeviceTestSupport.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#endif

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

CDeviceEmulator& DeviceTest::StartDevice(CEmulatorConfig config) {
    m_devices.push_back(std::make_unique<CDeviceEmulator>(std::move(config)));
    CDeviceEmulator& device = *m_devices.back();
    EXPECT_TRUE(device.Start()) << device.LastError();
    return device;
}

void DeviceTest::Connect(CDeviceChannel& channel) {
    ASSERT_EQ(EnumerateDevices(m_list), 1);
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
    EXPECT_EQ(loopback::Send(m_connection, message.data(), message.size()),
              static_cast<long>(message.size()));
}

std::vector<uint8_t> ReportWithWord(uint32_t word) {
    std::vector<uint8_t> report(REPORT_SIZE, 0);
    teelink::StoreLe32(report.data() + 1, word);
    return report;
}

}  // namespace teelink
