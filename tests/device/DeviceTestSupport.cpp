#include "tests/device/DeviceTestSupport.h"

#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "common/ByteOrder.h"
#include "device/Protocol.h"

CTempBus::CTempBus() {
    // Short, because socket paths are limited to about 100 bytes.
    char templ[] = "/tmp/tlbus-XXXXXX";
    const char* made = mkdtemp(templ);
    m_dir = made != nullptr ? made : "";
    EXPECT_FALSE(m_dir.empty()) << "cannot create a bus directory";
}

CTempBus::~CTempBus() {
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

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
    ASSERT_TRUE(OpenChannel(m_list, channel, m_notifier));
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    }
    return bytes;
}

CRawDevice::CRawDevice(const std::string& busDir, const std::string& label)
    : m_path(busDir + "/hid-0483-5750-" + label + ".sock") {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", m_path.c_str());
    m_listen = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    EXPECT_EQ(bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(m_listen, 4), 0);
}

CRawDevice::~CRawDevice() {
    if (m_connection >= 0) {
        close(m_connection);
    }
    close(m_listen);
    unlink(m_path.c_str());
}

void CRawDevice::Accept() {
    m_connection = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(m_connection, 0);
}

std::vector<uint8_t> CRawDevice::Receive() {
    pollfd entry{m_connection, POLLIN, 0};
    if (poll(&entry, 1, 10'000) != 1) {
        return {};
    }
    std::vector<uint8_t> message(256);
    const ssize_t got = recv(m_connection, message.data(), message.size(), 0);
    message.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return message;
}

void CRawDevice::Send(const std::vector<uint8_t>& message) {
    EXPECT_EQ(send(m_connection, message.data(), message.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(message.size()));
}

std::vector<uint8_t> ReportWithWord(uint32_t word) {
    std::vector<uint8_t> report(REPORT_SIZE, 0);
    teelink::StoreLe32(report.data() + 1, word);
    return report;
}
