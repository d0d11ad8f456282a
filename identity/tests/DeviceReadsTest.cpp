#include <gtest/gtest.h>

#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "device/IdentityRecord.h"
#include "device/Protocol.h"
#include "identity/DeviceReads.h"
#include "testsupport/DeviceTestSupport.h"

namespace teelink {

namespace {

// Shows a message and notes whether the device had already seen the channel
// close by then.
class CClosedFirstNotifier : public IUserNotifier {
public:
    explicit CClosedFirstNotifier(const CDeviceEmulator*& device) : m_device(device) {}
    void ShowPlain(const std::string& text) override {
        texts.push_back(text);
        closedFirst.push_back(m_device != nullptr && m_device->WaitForSessionsEnded(1));
    }
    std::vector<std::string> texts;
    std::vector<bool> closedFirst;

private:
    const CDeviceEmulator*& m_device;
};

class DocumentDeviceReads : public DeviceTest {
protected:
    CDeviceEmulator& Plug(CEmulatorConfig config) {
        CDeviceEmulator& device = StartDevice(std::move(config));
        m_device = &device;
        EXPECT_EQ(EnumerateDevices(m_list), 1);
        return device;
    }

    const CDeviceEmulator* m_device = nullptr;
    CClosedFirstNotifier m_shown{m_device};
    CMessageTable m_messages;
    CTeelinkDoc m_doc{m_list, m_shown, m_messages};
};

TEST_F(DocumentDeviceReads, AnIdentifiedDeviceFillsTheDocument) {
    CEmulatorConfig config = Config();
    config.identity = MakeIdentityRecord("KS2", "1A", "10.20");
    config.courseDate = "180102";
    Plug(config);
    ASSERT_TRUE(ReadDeviceIdentity(m_doc));
    EXPECT_EQ(m_doc.m_strModel, L"KS2");
    EXPECT_EQ(m_doc.m_szModelId, (std::array<char, 4>{'K', 'S', '2', '\0'}));
    EXPECT_EQ(m_doc.m_strModelCode, L"1A");
    EXPECT_EQ(m_doc.m_strSystemVersion, L"10.20");
    ASSERT_TRUE(ReadCourseDataDate(m_doc));
    EXPECT_EQ(m_doc.m_strCourseDate, L"180102");
    EXPECT_TRUE(m_shown.texts.empty());
}

TEST_F(DocumentDeviceReads, AnUnknownDeviceIsRejectedSilentlyAndChangesNothing) {
    CEmulatorConfig config = Config();
    config.identity[5] = 0x00;  // "R7" with a NUL where the blank belongs
    Plug(config);
    m_doc.m_strModel = L"R8";
    m_doc.m_strSystemVersion = L"2.00";
    EXPECT_FALSE(ReadDeviceIdentity(m_doc));
    EXPECT_EQ(m_doc.m_strModel, L"R8");
    EXPECT_EQ(m_doc.m_strSystemVersion, L"2.00");
    EXPECT_TRUE(m_shown.texts.empty());
}

TEST_F(DocumentDeviceReads, AProtocolFailureIsShownAfterTheChannelIsClosed) {
    UseShortTimeout();
    CEmulatorConfig config = Config();
    config.faults.noAckFor = CMD_READ_IDENTITY;
    Plug(config);
    EXPECT_FALSE(ReadDeviceIdentity(m_doc));
    EXPECT_EQ(m_shown.texts, std::vector<std::string>{"read: set ack error"});
    EXPECT_EQ(m_shown.closedFirst, std::vector<bool>{true});
}

TEST_F(DocumentDeviceReads, ARefusedIdentityShowsTheAckError) {
    CEmulatorConfig config = Config();
    config.faults.refuseAckFor = CMD_READ_IDENTITY;
    Plug(config);
    EXPECT_FALSE(ReadDeviceIdentity(m_doc));
    EXPECT_EQ(m_shown.texts, std::vector<std::string>{"ack error"});
}

TEST_F(DocumentDeviceReads, AMissingOrMalformedCourseDateIsNoFailure) {
    for (const std::optional<std::string>& date :
         {std::optional<std::string>{"17a315"}, std::optional<std::string>{}}) {
        CEmulatorConfig config = Config();
        config.label = date ? "malformed" : "none";
        config.courseDate = date;
        CDeviceEmulator& device = StartDevice(config);
        m_list.paths[0] = device.DevicePath();
        m_doc.m_strCourseDate = L"170101";
        EXPECT_TRUE(ReadCourseDataDate(m_doc));
        EXPECT_EQ(m_doc.m_strCourseDate, L"161101");
    }
    EXPECT_TRUE(m_shown.texts.empty());
}

TEST_F(DocumentDeviceReads, AFailedCourseDateReadIsShownAndLeavesTheDefault) {
    UseShortTimeout();
    CEmulatorConfig config = Config();
    config.faults.stallAfterPayloads = 10;
    Plug(config);
    m_doc.m_strCourseDate = L"170101";
    EXPECT_FALSE(ReadCourseDataDate(m_doc));
    EXPECT_EQ(m_doc.m_strCourseDate, L"161101");
    EXPECT_EQ(m_shown.texts, std::vector<std::string>{"read data error"});
    EXPECT_EQ(m_shown.closedFirst, std::vector<bool>{true});
}

TEST_F(DocumentDeviceReads, WithoutADeviceBothReadsFailWithTheOpenError) {
    m_doc.m_strCourseDate = L"170101";
    EXPECT_FALSE(ReadDeviceIdentity(m_doc));
    EXPECT_FALSE(ReadCourseDataDate(m_doc));
    EXPECT_EQ(m_doc.m_strCourseDate, L"161101");
    EXPECT_EQ(m_shown.texts, (std::vector<std::string>{"USB Open Error", "USB Open Error"}));
}

}  // namespace

}  // namespace teelink
