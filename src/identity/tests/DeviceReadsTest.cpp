#include <gtest/gtest.h>

#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "device/IdentityRecord.h"
#include "device/Protocol.h"
#include "identity/DevicePolling.h"
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
        m_found = TheDevice();
        return device;
    }
    enum class Ended { Done, Failed };
    // The identity job as the main page's runner ends it: a failure's texts
    // go to m_shown, then the result goes into the document.
    Ended Identify() {
        const Result<CIdentified> identified =
            IdentifyJob(CJobContext{m_found, CServerSettings{}, m_stop});
        if (!identified) {
            for (const std::string& text : identified.Failure().Texts()) {
                m_shown.ShowPlain(text);
            }
        }
        ApplyIdentified(m_doc, identified);
        return identified ? Ended::Done : Ended::Failed;
    }
    static std::vector<std::string> Texts(const Status& status) {
        return status ? std::vector<std::string>{} : status.Failure().Texts();
    }

    const CDeviceEmulator* m_device = nullptr;
    CDevice m_found;
    CClosedFirstNotifier m_shown{m_device};
    CMessageTable m_messages;
    CTeelinkDoc m_doc{m_messages};
};

TEST_F(DocumentDeviceReads, AnIdentifiedDeviceFillsTheDocument) {
    CEmulatorConfig config = Config();
    config.identity = MakeIdentityRecord("KS2", "1A", "10.20");
    config.courseDate = "180102";
    Plug(config);
    EXPECT_EQ(Identify(), Ended::Done);
    EXPECT_EQ(m_doc.m_strModel, L"KS2");
    EXPECT_EQ(m_doc.m_szModelId, (std::array<char, 4>{'K', 'S', '2', '\0'}));
    EXPECT_EQ(m_doc.m_strModelCode, L"1A");
    EXPECT_EQ(m_doc.m_strSystemVersion, L"10.20");
    EXPECT_EQ(m_doc.m_strCourseDate, L"180102");
    // Every later operation opens this device by its path.
    EXPECT_EQ(m_doc.m_strDevicePath, m_found.Path());
    EXPECT_TRUE(m_shown.texts.empty());
}

TEST_F(DocumentDeviceReads, AnUnknownDeviceIsRejectedSilentlyAndChangesNothing) {
    CEmulatorConfig config = Config();
    config.identity[5] = 0x00;  // "R7" with a NUL where the blank belongs
    Plug(config);
    m_doc.m_strModel = L"R8";
    m_doc.m_strSystemVersion = L"2.00";
    m_doc.m_strDevicePath = "emu:/earlier";
    EXPECT_EQ(Identify(), Ended::Failed);
    EXPECT_TRUE(m_doc.m_strDevicePath.empty());
    EXPECT_EQ(m_doc.m_strModel, L"R8");
    EXPECT_EQ(m_doc.m_strSystemVersion, L"2.00");
    EXPECT_TRUE(m_shown.texts.empty());
}

TEST_F(DocumentDeviceReads, AProtocolFailureIsShownAfterTheChannelIsClosed) {
    UseShortTimeout();
    CEmulatorConfig config = Config();
    config.faults.noAckFor = CMD_READ_IDENTITY;
    Plug(config);
    EXPECT_EQ(Identify(), Ended::Failed);
    EXPECT_EQ(m_shown.texts, std::vector<std::string>{"read: set ack error"});
    EXPECT_EQ(m_shown.closedFirst, std::vector<bool>{true});
}

TEST_F(DocumentDeviceReads, ARefusedIdentityShowsTheAckError) {
    CEmulatorConfig config = Config();
    config.faults.refuseAckFor = CMD_READ_IDENTITY;
    Plug(config);
    const Status read = ReadDeviceIdentity(m_doc, m_found);
    EXPECT_EQ(read.Code(), ERR_ACK);
    EXPECT_EQ(Texts(read), std::vector<std::string>{"ack error"});
    // The read itself shows nothing: its job does, at its end.
    EXPECT_TRUE(m_shown.texts.empty());
}

TEST_F(DocumentDeviceReads, AMissingOrMalformedCourseDateIsNoFailure) {
    for (const std::optional<std::string>& date :
         {std::optional<std::string>{"17a315"}, std::optional<std::string>{}}) {
        CEmulatorConfig config = Config();
        config.label = date ? "malformed" : "none";
        config.courseDate = date;
        CDeviceEmulator& device = StartDevice(config);
        m_doc.m_strCourseDate = L"170101";
        EXPECT_TRUE(ReadCourseDataDate(m_doc, m_list.At(device.DevicePath()).value()));
        EXPECT_EQ(m_doc.m_strCourseDate, L"161101");
    }
    EXPECT_TRUE(m_shown.texts.empty());
}

// A device half read is no device the document describes: only its path goes.
TEST_F(DocumentDeviceReads, AFailedCourseDateReadIsShownAndLeavesTheDocumentAsItWas) {
    UseShortTimeout();
    CEmulatorConfig config = Config();
    config.faults.stallAfterPayloads = 10;
    Plug(config);
    m_doc.m_strModel = L"R8";
    m_doc.m_strCourseDate = L"170101";
    m_doc.m_strDevicePath = "emu:/earlier";
    EXPECT_EQ(Identify(), Ended::Failed);
    EXPECT_EQ(m_doc.m_strCourseDate, L"170101");
    EXPECT_EQ(m_doc.m_strModel, L"R8");
    EXPECT_TRUE(m_doc.m_strDevicePath.empty());
    EXPECT_EQ(m_shown.texts, std::vector<std::string>{"read data error"});
    EXPECT_EQ(m_shown.closedFirst, std::vector<bool>{true});
}

TEST_F(DocumentDeviceReads, WithoutADeviceBothReadsFailWithTheOpenError) {
    m_doc.m_strCourseDate = L"170101";
    EXPECT_EQ(ReadDeviceIdentity(m_doc, m_found).Code(), ERR_OPEN);
    EXPECT_EQ(ReadCourseDataDate(m_doc, m_found).Code(), ERR_OPEN);
    EXPECT_EQ(m_doc.m_strCourseDate, L"161101");
    EXPECT_EQ(Identify(), Ended::Failed);
    EXPECT_EQ(m_shown.texts, std::vector<std::string>{"USB Open Error"});
}

}  // namespace

}  // namespace teelink
