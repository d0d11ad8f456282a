// The window against the emulated device on a USB HID gadget: the tool finds
// and writes it through hidapi and the host's hidraw. These run inside the
// kernel test's guest (./run kernel-test) and skip elsewhere.
#include <gtest/gtest.h>

#include "device/Protocol.h"
#include "pages/main/MainPageIds.h"
#include "pages/update/UpdateView.h"
#include "refserver/PackageBuilder.h"
#include "testsupport/PageTestSupport.h"

namespace teelink {

namespace {

class GadgetUpdatePage : public CPageTest {
protected:
    void SetUp() override {
        if (!GadgetTransport()) {
            GTEST_SKIP() << "needs the emulated device on a USB HID gadget (./run kernel-test)";
        }
    }
    void StartWithDevice(CEmulatorConfig config, const std::string& package) {
        StartWithDeviceShown(std::move(config));
        server.Answer(package);
    }
    // The header block with a new date, then `blocks` blocks of course data.
    static std::vector<uint8_t> CourseData(int blocks) {
        std::vector<uint8_t> payload = CourseDataHeader("171201");
        const std::vector<uint8_t> data = Pattern(static_cast<size_t>(blocks) * 4096, 23);
        payload.insert(payload.end(), data.begin(), data.end());
        return payload;
    }
    static std::string CoursePackage(const std::vector<uint8_t>& payload) {
        return PackageAnswer(BuildPackage({{"course", MakeEntry(0x280000, payload), false}}));
    }
};

TEST_F(GadgetUpdatePage, ACourseUpdateLeavesThePackageInTheDevicesMemory) {
    const std::vector<uint8_t> payload = CourseData(12);
    StartWithDevice(DefaultEmulatorConfig(bus.Dir()), CoursePackage(payload));
    ASSERT_TRUE(Harness().Press(IDC_COURSE_START));
    ASSERT_TRUE(
        Harness().PumpUntil([&] { return App().ActiveView() == App().Page(VIEW_MAIN); }, 120000));
    ASSERT_EQ(MessageTexts(), std::vector<std::wstring>{L"Complete"});
    EXPECT_EQ(devices.front()->ReadMemory(0x280000, payload.size()), payload);
}

// A device pulled out in the middle of a block: the write ends at once, and
// the tool's boxes come one at a time before it closes.
TEST_F(GadgetUpdatePage, APullInTheMiddleOfABlockShowsTheBoxesOneAtATimeAndCloses) {
    CEmulatorConfig config = DefaultEmulatorConfig(bus.Dir());
    config.faults.fromCommand = 2 + 4;  // identity, date, three blocks, then the fourth stops
    config.faults.stallAfterPayloads = 20;
    StartWithDevice(config, CoursePackage(CourseData(10)));
    CDeviceEmulator& device = *devices.front();
    Harness().Dialogs().boxLoopMs = 300;
    ASSERT_TRUE(Harness().Press(IDC_COURSE_START));
    // The date's block and three written blocks are 256 payloads.
    ASSERT_TRUE(Harness().PumpUntil([&] { return device.Status().payloads >= 256 + 20; }, 120000));
    device.Unplug();
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }, 120000));
    EXPECT_EQ(MessageTexts(), (std::vector<std::wstring>{L"write data error", L"Error: HID write",
                                                         L"Failed to write"}));
    EXPECT_EQ(Harness().Dialogs().maxBoxesShowing, 1);
}

}  // namespace

}  // namespace teelink
