#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "device/EmulatorBus.h"
#include "device/LoopbackSocket.h"
#include "device/Protocol.h"
#include "testsupport/DeviceTestSupport.h"

namespace teelink {

// The tcp kind of the emulator bus, the one every system has: announcement
// files, the token, and 65-byte frames on a stream.
namespace {

using namespace std::chrono_literals;

TEST(BusAnnouncement, OnlyAPortAndAWellFormedTokenAreAccepted) {
    const std::string token(emubus::kTokenSize, 'a');
    const auto parsed = emubus::ParseAnnouncement(emubus::FormatAnnouncement({8123, token}));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->port, 8123);
    EXPECT_EQ(parsed->token, token);
    EXPECT_TRUE(emubus::ParseAnnouncement("65535 " + token));  // the line end is optional
    for (const std::string& bad :
         {std::string(), "0 " + token, "65536 " + token, "-1 " + token, "8123" + token,
          " 8123 " + token, "8123 " + token.substr(1), "8123 " + token + "a\n",
          "8123 " + std::string(emubus::kTokenSize, 'A'), "8123 " + token + "\n\n",
          "123456 " + token}) {
        EXPECT_FALSE(emubus::ParseAnnouncement(bad)) << bad;
    }
    EXPECT_NE(emubus::MakeToken(), emubus::MakeToken());
    EXPECT_TRUE(emubus::ParseAnnouncement("1 " + emubus::MakeToken()));
}

TEST(BusAnnouncement, TcpFilesAreNamedLikeSockets) {
    EXPECT_EQ(emubus::MakeSocketName(0x0483, 0x5750, "x", emubus::Kind::Tcp),
              "hid-0483-5750-x.tcp");
    const auto parsed = emubus::ParseSocketName("hid-0483-5750-my_dev-1.tcp");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->kind, emubus::Kind::Tcp);
    EXPECT_EQ(parsed->label, "my_dev-1");
    EXPECT_FALSE(emubus::ParseSocketName("hid-0483-5750-.tcp"));
    EXPECT_FALSE(emubus::ParseSocketName("hid-0483-5750-x.tcp.new"));
}

class StreamBus : public DeviceTest {
protected:
    CEmulatorConfig TcpConfig() const {
        CEmulatorConfig config = Config();
        config.transport = EmulatorTransport::Tcp;
        return config;
    }
};

TEST_F(StreamBus, TheDeviceIsAnnouncedWhileItListensAndOnlyThen) {
    CDeviceEmulator& device = StartDevice(TcpConfig());
    const std::filesystem::path file = device.SocketPath();
    EXPECT_EQ(file.filename().string(), "hid-0483-5750-zorvik.tcp");
    EXPECT_TRUE(emubus::ReadAnnouncement(file.string()));
    // Nothing but the announcement is left in the folder.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_bus.Dir())) {
        ++files;
    }
    EXPECT_EQ(files, 1);

    CDeviceChannel channel;
    Connect(channel);
    EXPECT_EQ(ReadIdentity(channel).Code(), 0);
    CloseChannel(channel);

    device.Unplug();
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(m_list.Enumerate(), 0);
}

TEST_F(StreamBus, AnAnnouncementNobodyListensOnOrThatIsMalformedIsNoDevice) {
    WriteDeadAnnouncement(m_bus.Dir() + "/hid-0483-5750-dead.tcp");
    std::ofstream(m_bus.Dir() + "/hid-0483-5750-garbled.tcp") << "not an announcement";
    EXPECT_EQ(m_list.Enumerate(), 0);
    StartDevice(TcpConfig());
    EXPECT_EQ(m_list.Enumerate(), 1);
}

TEST_F(StreamBus, AConnectionWithoutTheTokenNeverReachesTheDevice) {
    CDeviceEmulator& device = StartDevice(TcpConfig());
    const auto announcement = emubus::ReadAnnouncement(device.SocketPath());
    ASSERT_TRUE(announcement);
    {
        loopback::Socket stranger = loopback::Connect(announcement->port, 0);
        ASSERT_NE(stranger, loopback::kNoSocket);
        std::string wrong(emubus::kTokenSize, '0');
        ASSERT_EQ(loopback::Send(stranger, wrong.data(), wrong.size()),
                  static_cast<long>(wrong.size()));
        const std::vector<uint8_t> command = ReportWithWord(CommandWord(CMD_READ_IDENTITY));
        loopback::Send(stranger, command.data(), command.size());
        // The device hangs up without an answer.
        loopback::PollEntry entry{stranger, loopback::kReadable, 0};
        ASSERT_EQ(loopback::Poll(&entry, 1, 5000), 1);
        uint8_t byte = 0;
        EXPECT_LE(loopback::Receive(stranger, &byte, 1), 0);
        loopback::Close(stranger);
    }
    EXPECT_TRUE(device.CommandLog().empty());
    CDeviceChannel channel;
    Connect(channel);
    EXPECT_EQ(ReadIdentity(channel).Code(), 0);
}

// The transport on a hand-driven tcp device.
class StreamTransport : public ::testing::Test {
protected:
    void SetUp() override {
        CEmulatorBusBackend backend(m_bus.Dir());
        m_transport = backend.Open(m_raw.DevicePath());
        ASSERT_NE(m_transport, nullptr);
        m_raw.Accept();
    }

    CTempBus m_bus;
    CRawDevice m_raw{m_bus.Dir(), "raw", true};
    std::unique_ptr<IReportTransport> m_transport;
    std::array<uint8_t, REPORT_SIZE> m_report{};
};

TEST_F(StreamTransport, AFrameInPiecesIsOneReportAndALateTailFinishesItNextTime) {
    const std::vector<uint8_t> report = Pattern(REPORT_SIZE, 9);
    m_raw.Send({report.begin(), report.begin() + 10});
    std::thread rest([&] {
        std::this_thread::sleep_for(50ms);
        m_raw.Send({report.begin() + 10, report.end()});
    });
    const bool read = m_transport->Read(m_report, kNormalTimeoutMs);
    rest.join();
    ASSERT_TRUE(read);
    EXPECT_EQ(std::vector<uint8_t>(m_report.begin(), m_report.end()), report);

    // Half a frame when the limit passes: this read fails, the next one
    // returns the frame whole once its tail comes, and framing holds after it.
    const std::vector<uint8_t> second = Pattern(REPORT_SIZE, 20);
    const std::vector<uint8_t> third = Pattern(REPORT_SIZE, 30);
    m_raw.Send({second.begin(), second.begin() + 40});
    EXPECT_FALSE(m_transport->Read(m_report, 100));
    m_raw.Send({second.begin() + 40, second.end()});
    m_raw.Send(third);
    ASSERT_TRUE(m_transport->Read(m_report, kNormalTimeoutMs));
    EXPECT_EQ(std::vector<uint8_t>(m_report.begin(), m_report.end()), second);
    ASSERT_TRUE(m_transport->Read(m_report, kNormalTimeoutMs));
    EXPECT_EQ(std::vector<uint8_t>(m_report.begin(), m_report.end()), third);
}

TEST_F(StreamTransport, WrittenReportsArriveAsWholeFrames) {
    for (uint8_t seed : {1, 2, 3}) {
        const std::vector<uint8_t> report = Pattern(REPORT_SIZE, seed);
        std::array<uint8_t, REPORT_SIZE> out{};
        std::copy(report.begin(), report.end(), out.begin());
        ASSERT_TRUE(m_transport->Write(out, kNormalTimeoutMs));
        EXPECT_EQ(m_raw.Receive(), report);
    }
}

TEST_F(StreamTransport, ADeviceThatHangsUpFailsTheNextTransfersAtOnce) {
    const std::vector<uint8_t> report = Pattern(REPORT_SIZE, 5);
    m_raw.Send(report);
    m_raw.Drop();
    // What it sent before it went is still read; then the transfers fail
    // without waiting for their limit.
    ASSERT_TRUE(m_transport->Read(m_report, kNormalTimeoutMs));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_transport->Read(m_report, kNormalTimeoutMs));
    std::array<uint8_t, REPORT_SIZE> out{};
    EXPECT_FALSE(m_transport->Write(out, kNormalTimeoutMs));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
}

}  // namespace

}  // namespace teelink
