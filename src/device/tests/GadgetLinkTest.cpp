// What only a real kernel shows: the tool on hidapi and hidraw against the
// emulated device on a USB HID gadget, through the host's USB stack. These
// run inside the kernel test's guest (./run kernel-test) and skip elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include "common/ByteOrder.h"
#include "device/Protocol.h"
#include "testsupport/DeviceTestSupport.h"

namespace teelink {

namespace {

class GadgetLink : public DeviceTest {
protected:
    void SetUp() override {
        if (!GadgetTransport()) {
            GTEST_SKIP() << "needs the emulated device on a USB HID gadget (./run kernel-test)";
        }
        DeviceTest::SetUp();
    }
};

TEST_F(GadgetLink, TheDeviceIsAHidrawNodeCountedOnlyWithOurIds) {
    CEmulatorConfig other = Config();
    other.productId = 0x5751;
    CDeviceEmulator& stranger = StartDevice(other);
    ASSERT_FALSE(stranger.DevicePath().empty());  // the host has the node...
    EXPECT_EQ(m_list.Enumerate(), 0);             // ...but it is no device of ours

    CDeviceEmulator& device = StartDevice();
    ASSERT_EQ(m_list.Enumerate(), 1);
    const std::string path = m_list.Found().front().Path();
    EXPECT_EQ(path, device.DevicePath());
    EXPECT_EQ(path.rfind("/dev/hidraw", 0), 0u) << path;
    CDeviceChannel channel;
    ASSERT_TRUE(OpenChannel(m_list.Found().front(), channel));
    EXPECT_EQ(ReadIdentity(channel).Code(), 0);
}

TEST_F(GadgetLink, TwoGadgetsAreTwoDevicesEachWithItsOwnIdentity) {
    CEmulatorConfig first = Config();
    first.identity = MakeIdentityRecord("R8", "A01", "1.05");
    CEmulatorConfig second = Config();
    second.identity = MakeIdentityRecord("KS2", "B02", "1.03");
    // Side by side, not taking turns as StartDevice has them.
    CDeviceEmulator r8(first);
    CDeviceEmulator ks2(second);
    ASSERT_TRUE(r8.Start()) << r8.LastError();
    ASSERT_TRUE(ks2.Start()) << ks2.LastError();
    ASSERT_EQ(m_list.Enumerate(), 2);
    for (const CDeviceEmulator* device : {&r8, &ks2}) {
        const auto& found = m_list.Found();
        const auto it = std::find_if(found.begin(), found.end(), [device](const CDevice& d) {
            return d.Path() == device->DevicePath();
        });
        ASSERT_NE(it, found.end()) << device->DevicePath();
        CDeviceChannel channel;
        ASSERT_TRUE(OpenChannel(*it, channel));
        ASSERT_EQ(ReadIdentity(channel).Code(), 0);
        EXPECT_EQ(channel.data[3], device == &r8 ? 'R' : 'K');
    }
}

// The host's answers to reports no well-behaved device sends.
class GadgetReports : public GadgetLink {
protected:
    void SetUp() override {
        GadgetLink::SetUp();
        if (IsSkipped()) {
            return;
        }
        m_list = CDeviceList(DevicesUnderTest(m_bus.Dir(), kFaultTimeoutMs));
        m_raw = std::make_unique<CRawDevice>(m_bus.Dir());
        ASSERT_TRUE(OpenChannel(m_list.At(m_raw->DevicePath()).value(), m_channel));
    }
    std::future<int> Run(std::function<int(CDeviceChannel&)> operation) {
        return std::async(std::launch::async, [this, operation] { return operation(m_channel); });
    }
    // The tool's command has arrived: 64 bytes, the report id left behind.
    void ExpectCommand() { EXPECT_EQ(m_raw->Receive().size(), REPORT_SIZE); }
    static std::vector<uint8_t> IdentityAck(const std::string& model) {
        std::vector<uint8_t> ack = ReportWithWord(ACK_WORD);
        const auto record = MakeIdentityRecord(model, "A01", "1.05");
        std::copy(record.begin(), record.end(), ack.begin() + 1 + IDENTITY_ACK_OFFSET);
        return ack;
    }

    std::unique_ptr<CRawDevice> m_raw;
    CDeviceChannel m_channel;
};

// usbhid hands hidraw a short interrupt transfer as it came, and the tool's
// whole-report rule refuses it wherever it comes.
TEST_F(GadgetReports, AShortReportIsATransferFailureInEveryPhase) {
    auto identity = Run([](CDeviceChannel& c) { return ReadIdentity(c).Code(); });
    ExpectCommand();
    std::vector<uint8_t> shortAck = ReportWithWord(ACK_WORD);
    shortAck.resize(1 + 10);
    m_raw->Send(shortAck);
    EXPECT_EQ(identity.get(), ERR_READ_SET_ACK);

    auto read = Run([](CDeviceChannel& c) { return ReadBlock(c, 0).Code(); });
    ExpectCommand();
    m_raw->Send(ReportWithWord(ACK_WORD));
    m_raw->Send(Pattern(REPORT_SIZE, 1));
    m_raw->Send(Pattern(1 + 63, 2));
    EXPECT_EQ(read.get(), ERR_READ_DATA);
}

// An empty transfer is no report at all: the host drops it, and the answer
// after it is the one the tool reads.
TEST_F(GadgetReports, AnEmptyReportNeverReachesTheTool) {
    auto identity = Run([](CDeviceChannel& c) { return ReadIdentity(c).Code(); });
    ExpectCommand();
    m_raw->Send({});
    m_raw->Send(IdentityAck("R8"));
    EXPECT_EQ(identity.get(), 0);
    EXPECT_EQ(m_channel.data[3], 'R');
}

// The gadget's driver sends at most the report length it was made with: a
// device cannot answer with more than 64 bytes, and the first 64 arrive.
TEST_F(GadgetReports, ALongReportArrivesCutToSixtyFourBytes) {
    auto identity = Run([](CDeviceChannel& c) { return ReadIdentity(c).Code(); });
    ExpectCommand();
    std::vector<uint8_t> ack = IdentityAck("KS2");
    ack.resize(100, 0x99);
    m_raw->Send(ack);
    EXPECT_EQ(identity.get(), 0);
    EXPECT_EQ(m_channel.data[3], 'K');
}

// With a transfer limit far beyond any run, only the pull itself can end the
// transfer under way: hidraw wakes the reader when the device goes.
TEST_F(GadgetLink, ADevicePulledDuringAReadEndsTheReadAndTheChannel) {
    m_list = CDeviceList(DevicesUnderTest(m_bus.Dir(), 600'000));
    CEmulatorConfig config = Config();
    config.faults.stallAfterPayloads = 10;
    CDeviceEmulator& device = StartDevice(config);
    CDeviceChannel channel;
    Connect(channel);
    auto read = std::async(std::launch::async, [&] { return ReadBlock(channel, 0x23000).Code(); });
    ASSERT_TRUE(device.WaitFor([](const CEmulatorStatus& s) { return s.payloads >= 10; }));
    device.Unplug();
    EXPECT_EQ(read.get(), ERR_READ_DATA);
    // Every command after the pull fails on its first step.
    const std::vector<uint8_t> block = Pattern(BLOCK_SIZE, 6);
    EXPECT_EQ(ReadBlock(channel, 0).Code(), ERR_READ_SET_ADDR);
    EXPECT_EQ(WriteBlock(channel, 0, block.data()).Code(), ERR_WRITE_SET_ADDR);
    EXPECT_EQ(ReadFavoritesTable(channel).Code(), ERR_READ_SET_ADDR);
    EXPECT_EQ(ReadIdentity(channel).Code(), ERR_READ_SET_ADDR);
    EXPECT_EQ(m_list.Enumerate(), 0);
}

// A write is the tool's most common transfer in an update: a device pulled
// in the middle of a block leaves the block unwritten and every later
// transfer failing.
TEST_F(GadgetLink, ADevicePulledDuringABlockWriteLeavesTheBlockUnwritten) {
    CEmulatorConfig config = Config();
    config.faults.stallAfterPayloads = 20;
    CDeviceEmulator& device = StartDevice(config);
    CDeviceChannel channel;
    Connect(channel);
    const std::vector<uint8_t> block = Pattern(BLOCK_SIZE, 12);
    auto write = std::async(std::launch::async,
                            [&] { return WriteBlock(channel, 0x40000, block.data()).Code(); });
    // The device has stopped taking payloads; the tool's next one waits in the kernel.
    ASSERT_TRUE(device.WaitFor([](const CEmulatorStatus& s) { return s.payloads >= 20; }));
    device.Unplug();
    EXPECT_EQ(write.get(), ERR_WRITE_DATA);
    EXPECT_EQ(device.ReadMemory(0x40000, BLOCK_SIZE), std::vector<uint8_t>(BLOCK_SIZE, 0xFF));
    EXPECT_EQ(WriteBlock(channel, 0x41000, block.data()).Code(), ERR_WRITE_SET_ADDR);
    CDeviceChannel again;
    const Status open = OpenChannel(m_list.At(device.DevicePath()).value_or(CDevice()), again);
    ASSERT_FALSE(open);
    EXPECT_EQ(open.Failure().Texts(), std::vector<std::string>{"USB Open Error"});
}

}  // namespace

}  // namespace teelink
