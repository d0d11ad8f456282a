#include <gtest/gtest.h>

#include "device/Protocol.h"
#include "identity/DeviceReads.h"
#include "pages/main/MainPageIds.h"
#include "pages/update/UpdatePageIds.h"
#include "pages/update/UpdateView.h"
#include "refserver/PackageBuilder.h"
#include "testsupport/PageTestSupport.h"

namespace teelink {

namespace {

class UpdatePage : public CPageTest {
protected:
    // Block writes the device has taken, whatever their outcome.
    static size_t BlockWrites(const CDeviceEmulator& device) {
        size_t count = 0;
        for (const CCommandRecord& r : device.CommandLog()) {
            count += r.word == CommandWord(CMD_WRITE_BLOCK) ? 1 : 0;
        }
        return count;
    }
    CUpdateView& View() { return *App().PageAs<CUpdateView>(VIEW_UPDATE); }
    bool OnMainPage() { return App().ActiveView() == App().Page(VIEW_MAIN); }

    // Starts the tool with one device shown; the server then answers every
    // request with `package`.
    void StartWithDevice(CEmulatorConfig config, const std::string& package) {
        StartWithDeviceShown(std::move(config));
        server.Answer(package);
    }
    void StartWithDevice(const std::string& package) {
        StartWithDevice(DefaultEmulatorConfig(bus.Dir()), package);
    }

    // A course data package: the header block with a new date, then `blocks`
    // blocks of course data, stored so that its size is what the blocks make.
    static std::string CoursePackage(int blocks) {
        std::vector<uint8_t> payload = CourseDataHeader("171201");
        const std::vector<uint8_t> data = Pattern(static_cast<size_t>(blocks) * 4096, 9);
        payload.insert(payload.end(), data.begin(), data.end());
        return PackageAnswer(BuildPackage({{"course", MakeEntry(0x280000, payload), false}}));
    }
};

TEST_F(UpdatePage, ACourseDataUpdateRunsFromTheStartButtonToTheDevice) {
    StartWithDevice(CoursePackage(3));
    ASSERT_TRUE(Harness().Press(IDC_COURSE_START));
    EXPECT_EQ(App().ActiveView(), App().Page(VIEW_UPDATE));
    ASSERT_TRUE(Harness().PumpUntil([&] { return OnMainPage(); }));
    EXPECT_EQ(View().DownloadPosition(), 1000);
    EXPECT_EQ(View().WritePosition(), 1000);
    const auto boxes = Harness().Dialogs().Messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].message, "Complete");
    EXPECT_EQ(boxes[0].caption, "Info");
    EXPECT_EQ(server.Queries().back(), "md=4&pd=R7&ga=JP&udate=170315");
    // The device now holds the package's course data.
    ASSERT_TRUE(
        ReadCourseDataDate(App().Doc(), App().Devices().At(App().Doc().m_strDevicePath).value()));
    EXPECT_EQ(App().Doc().m_strCourseDate, L"171201");
}

TEST_F(UpdatePage, ASystemDataUpdateStartsTheFirmwareUpdate) {
    StartWithDevice(PackageAnswer(BuildPackage({{"fw", MakeEntry(0x100000, Pattern(9000, 1))}})));
    ASSERT_TRUE(Harness().Press(IDC_SYSTEM_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return OnMainPage(); }));
    EXPECT_EQ(server.Queries().back(), "md=3&pd=R7&mdl=A01");
    ASSERT_TRUE(
        devices.front()->WaitFor([](const CEmulatorStatus& s) { return s.endCommands > 0; }));
    // Message 42 has a text in Japanese only; in English the completion says
    // "Complete" rather than show an empty box.
    ASSERT_EQ(Harness().Dialogs().Messages().size(), 1u);
    EXPECT_EQ(Harness().Dialogs().Messages()[0].message, "Complete");
    EXPECT_EQ(Harness().Dialogs().Messages()[0].caption, "Info");
}

// The server stalls in the middle of the package and never goes on: Cancel ends
// the open request itself, long before the stall limit would.
TEST_F(UpdatePage, CancelDuringAStalledDownloadReturnsAndAFreshRunStartsAtZero) {
    const std::string package = CoursePackage(60);
    StartWithDevice(package);
    server.HoldAnswersAfter(100000);
    ASSERT_TRUE(Harness().Press(IDC_COURSE_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return View().DownloadPosition() > 0; }));
    ASSERT_TRUE(Harness().Press(IDC_UPDATE_CANCEL));
    ASSERT_TRUE(Harness().PumpUntil([&] { return OnMainPage(); }, 5000));
    server.Release();
    ASSERT_EQ(Harness().Dialogs().Messages().size(), 1u);
    EXPECT_EQ(Harness().Dialogs().Messages()[0].message, "Operation aborted");
    EXPECT_EQ(Harness().Dialogs().Messages()[0].caption, "Zorvik");
    EXPECT_EQ(devices.front()->CommandLog().size(), 2u);  // identity and date only

    // The fresh run is held before its first byte, so its bars can be seen.
    server.HoldAnswersAfter(0);
    ASSERT_TRUE(Harness().Press(IDC_COURSE_START));
    EXPECT_EQ(View().DownloadPosition(), 0);
    EXPECT_EQ(View().WritePosition(), 0);
    server.Release();
    ASSERT_TRUE(Harness().PumpUntil([&] { return OnMainPage(); }, 60000));
    EXPECT_EQ(Harness().Dialogs().Messages().back().message, "Complete");
}

TEST_F(UpdatePage, CancelDuringTheWriteShowsItsBoxesOneAtATimeAndEndsTheProgram) {
    CEmulatorConfig slow = DefaultEmulatorConfig(bus.Dir());
    slow.reportIntervalUs = 1000;  // about 67 ms a block
    StartWithDevice(slow, CoursePackage(40));
    ASSERT_TRUE(Harness().Press(IDC_COURSE_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return View().WritePosition() > 0; }));
    // Each box stays on screen long enough for the worker's box and its
    // result to arrive while the one before it is still showing.
    Harness().Dialogs().boxLoopMs = 400;
    // What the tool has had confirmed: the device may hold one more, whose
    // confirmation is on its way, and logs each block just after confirming it.
    const uint64_t writesAtCancel = View().Job().m_nBlocksWritten.load();
    ASSERT_TRUE(Harness().Press(IDC_UPDATE_CANCEL));
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
    EXPECT_EQ(MessageTexts(), (std::vector<std::wstring>{L"Operation aborted", L"Error: HID write",
                                                         L"Failed to write"}));
    EXPECT_EQ(Harness().Dialogs().maxBoxesShowing, 1);
    ASSERT_TRUE(devices.front()->WaitForSessionsEnded(1));         // its log is complete then
    EXPECT_LE(BlockWrites(*devices.front()), writesAtCancel + 1);  // and the one under way
}

TEST_F(UpdatePage, AFailureDuringTheWriteShowsItsBoxesOneAtATimeAndEndsTheProgram) {
    CEmulatorConfig failing = DefaultEmulatorConfig(bus.Dir());
    failing.reportIntervalUs = 1000;
    failing.faults.fromCommand = 2 + 4;  // identity, date, then three blocks go through
    failing.faults.noAckFor = CMD_WRITE_BLOCK;
    StartWithDevice(failing, CoursePackage(20));
    Harness().Dialogs().boxLoopMs = 300;
    ASSERT_TRUE(Harness().Press(IDC_COURSE_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }, 60000));
    const std::vector<std::wstring> texts = MessageTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], L"Error: HID write");
    EXPECT_EQ(texts[2], L"Failed to write");
    EXPECT_EQ(Harness().Dialogs().maxBoxesShowing, 1);
}

TEST_F(UpdatePage, ADeviceThatStopsAnsweringDuringTheWriteClosesTheTool) {
    CEmulatorConfig failing = DefaultEmulatorConfig(bus.Dir());
    failing.faults.unplugAfterCommands = 5;  // identity, date, then three blocks
    StartWithDevice(failing, CoursePackage(10));
    ASSERT_TRUE(Harness().Press(IDC_COURSE_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }, 30000));
    const std::vector<std::wstring> texts = MessageTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], L"Error: HID write");
    EXPECT_EQ(texts[2], L"Failed to write");
    EXPECT_EQ(Harness().Dialogs().Messages()[2].caption, "Zorvik");
}

TEST_F(UpdatePage, AServerThatDiesDuringTheDownloadClosesTheTool) {
    StartWithDevice(CoursePackage(1));
    server.AnswerTruncated(CoursePackage(30).substr(0, 40000), 7 + 200000);
    ASSERT_TRUE(Harness().Press(IDC_COURSE_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::wstring>{L"Error: Read size zip", L"Failed to download."}));
}

TEST_F(UpdatePage, AnAreaOutsideTheListStartsNothing) {
    StartWithDevice(CoursePackage(1));
    const size_t asked = server.Queries().size();
    App().Doc().m_nUpdateMode = UPDATE_COURSE_DATA;
    App().Doc().m_nAreaIndex = 5;
    App().SwitchView(VIEW_UPDATE);
    Harness().PumpFor(200);
    EXPECT_EQ(server.Queries().size(), asked);
    EXPECT_FALSE(View().WorkerRunning());
    EXPECT_EQ(App().ActiveView(), App().Page(VIEW_UPDATE));
}

TEST_F(UpdatePage, ExitDuringTheWriteStopsTheWorkerFirst) {
    CEmulatorConfig slow = DefaultEmulatorConfig(bus.Dir());
    slow.reportIntervalUs = 1000;
    StartWithDevice(slow, CoursePackage(40));
    ASSERT_TRUE(Harness().Press(IDC_COURSE_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return View().WritePosition() > 0; }));
    const size_t writesAtExit = BlockWrites(*devices.front());
    ASSERT_TRUE(Harness().Press(IDC_UPDATE_EXIT));
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
    EXPECT_LE(BlockWrites(*devices.front()), writesAtExit + 1);
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(UpdatePage, ExitDuringTheDownloadAbortsTheRequestAndEnds) {
    StartWithDevice(CoursePackage(400));
    server.HoldAnswersAfter(100000);  // the download stops in the middle
    ASSERT_TRUE(Harness().Press(IDC_COURSE_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return View().DownloadPosition() > 0; }));
    ASSERT_TRUE(Harness().Press(IDC_UPDATE_EXIT));
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_EQ(BlockWrites(*devices.front()), 0u);
    server.Release();
}

}  // namespace

}  // namespace teelink
