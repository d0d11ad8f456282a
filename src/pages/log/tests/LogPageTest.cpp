#include <gtest/gtest.h>
#include <csignal>
#include <deque>
#include <fstream>
#include <functional>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "device/Protocol.h"
#include "pages/log/LogPageIds.h"
#include "pages/log/TrevLogView.h"
#include "pages/main/MainPageIds.h"
#include "pages/main/TeelinkView.h"
#include "testsupport/Files.h"
#include "testsupport/PageTestSupport.h"

namespace teelink {

namespace {

class LogPage : public CPageTest {
protected:
    CTrevLogView& View() { return *App().PageAs<CTrevLogView>(VIEW_TREVLOG); }
    bool OnMainPage() { return App().ActiveView() == App().Page(VIEW_MAIN); }

    void StartWithDevice(CEmulatorConfig config) {
        PlugDevice(std::move(config));
        StartApp();
        ASSERT_TRUE(Harness().PumpUntil(
            [&] { return App().PageAs<CTeelinkView>(VIEW_MAIN)->DeviceShown(); }));
    }
    CAppOptions Options() {
        CAppOptions options = CPageTest::Options();
        options.chooseSaveFile = [this](const std::wstring& proposed, const std::wstring& filter,
                                        std::wstring& chosen) {
            proposedNames.push_back(proposed);
            filters.push_back(filter);
            if (!acceptDialog) {
                return false;
            }
            if (!nextChoices.empty()) {
                chosen = nextChoices.front().wstring();
                nextChoices.pop_front();
            } else {
                chosen = (folder / "saved.trv").wstring();
            }
            if (beforeSave) {
                beforeSave();
            }
            return true;
        };
        return options;
    }
    void StartApp() {
        harness = std::make_unique<CGuiHarness>(Options());
        harness->Dialogs().languageChoice = LANGUAGE_ENGLISH;
        ASSERT_TRUE(harness->Start());
    }

    CTempDir temp{"tllog"};
    std::filesystem::path folder = temp.Path();
    bool acceptDialog = true;
    // Names the save dialog gives, in turn; then "saved.trv".
    std::deque<std::filesystem::path> nextChoices;
    // Runs once the name is chosen, before the file is written.
    std::function<void()> beforeSave;
    std::vector<std::wstring> proposedNames;
    std::vector<std::wstring> filters;
};

TEST_F(LogPage, TheLogIsReadAndSavedBehindTheModelHeader) {
    CEmulatorConfig ks2 = DefaultEmulatorConfig(bus.Dir());
    ks2.identity = MakeIdentityRecord("KS2", "K01", "2.00");
    ks2.logImage = Pattern(LOG_SIZE, 11);
    ks2.reportIntervalUs = 1000;  // a read of about a second: the log page is seen
    StartWithDevice(ks2);
    ASSERT_TRUE(Harness().Press(IDC_LOG_START));
    EXPECT_EQ(App().ActiveView(), App().Page(VIEW_TREVLOG));
    ASSERT_TRUE(Harness().PumpUntil([&] { return OnMainPage(); }));

    const std::vector<uint8_t> saved = ReadFileBytes(folder / "saved.trv");
    ASSERT_EQ(saved.size(), 65542u);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 6), std::string("TLKS2\0", 6));
    EXPECT_EQ(std::vector<uint8_t>(saved.begin() + 6, saved.end()), ks2.logImage);
    EXPECT_EQ(View().Position(), 1000);
    ASSERT_EQ(proposedNames.size(), 1u);
    EXPECT_TRUE(proposedNames[0].starts_with(L"TL"));
    EXPECT_EQ(filters[0], L"TrevLog file (*.trv)|*.trv|all files (*.*)|*.*||");
    const auto boxes = Harness().Dialogs().Messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].message, "Complete");
    EXPECT_EQ(boxes[0].caption, "Info");
}

TEST_F(LogPage, DismissingTheSaveDialogWritesNothing) {
    acceptDialog = false;
    StartWithDevice(DefaultEmulatorConfig(bus.Dir()));
    ASSERT_TRUE(Harness().Press(IDC_LOG_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return OnMainPage(); }));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    const auto boxes = Harness().Dialogs().Messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].message, "Operation aborted");
    EXPECT_EQ(boxes[0].caption, "Info");
}

TEST_F(LogPage, CancelDuringTheReadReturnsToTheMainPage) {
    CEmulatorConfig slow = DefaultEmulatorConfig(bus.Dir());
    slow.reportIntervalUs = 1000;
    StartWithDevice(slow);
    ASSERT_TRUE(Harness().Press(IDC_LOG_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return View().Position() > 0; }));
    ASSERT_TRUE(Harness().Press(IDC_LOG_CANCEL));
    ASSERT_TRUE(Harness().PumpUntil([&] { return OnMainPage(); }));
    const auto boxes = Harness().Dialogs().Messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].message, "Operation aborted");
    EXPECT_EQ(boxes[0].caption, "Teelink");
    EXPECT_TRUE(proposedNames.empty());
}

TEST_F(LogPage, AfterAFailedReadCancelLeadsBackToTheMainPage) {
    CEmulatorConfig failing = DefaultEmulatorConfig(bus.Dir());
    failing.faults.fromCommand = 2 + 6;  // identity, date, then blocks 0 to 4 succeed
    failing.faults.stallAfterPayloads = 10;
    StartWithDevice(failing);
    ASSERT_TRUE(Harness().Press(IDC_LOG_START));
    ASSERT_TRUE(
        Harness().PumpUntil([&] { return !View().Reading() && !MessageTexts().empty(); }, 30000));
    EXPECT_EQ(MessageTexts(), std::vector<std::wstring>{L"read data error"});
    Harness().PumpFor(50);
    EXPECT_EQ(View().Position(), 250);
    EXPECT_EQ(App().ActiveView(), App().Page(VIEW_TREVLOG));
    ASSERT_TRUE(Harness().Press(IDC_LOG_CANCEL));
    EXPECT_TRUE(OnMainPage());
    EXPECT_FALSE(Harness().Closed());
}

TEST_F(LogPage, ShowingThePageAgainStartsAFreshReadWithNoImageLeft) {
    CEmulatorConfig config = DefaultEmulatorConfig(bus.Dir());
    config.logImage = Pattern(LOG_SIZE, 5);
    StartWithDevice(config);
    ASSERT_TRUE(Harness().Press(IDC_LOG_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return OnMainPage(); }));
    EXPECT_EQ(View().Image(), config.logImage);
    devices.front()->Unplug();  // the next read cannot open the device
    App().SwitchView(VIEW_TREVLOG);
    ASSERT_TRUE(Harness().PumpUntil([&] { return !View().Reading(); }));
    EXPECT_EQ(View().Position(), 0);
    EXPECT_TRUE(View().Image().empty());
    EXPECT_EQ(MessageTexts().back(), L"USB Open Error");
}

TEST_F(LogPage, AFolderThatTakesNoFileIsACreateErrorAndCloses) {
    std::filesystem::remove_all(folder);  // the chosen folder no longer exists
    StartWithDevice(DefaultEmulatorConfig(bus.Dir()));
    ASSERT_TRUE(Harness().Press(IDC_LOG_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
    const auto boxes = Harness().Dialogs().Messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].message, "FileCreateError");
    EXPECT_EQ(boxes[0].caption, "Error");
}

TEST_F(LogPage, ExitDuringTheReadStopsTheWorkerFirst) {
    CEmulatorConfig slow = DefaultEmulatorConfig(bus.Dir());
    slow.reportIntervalUs = 1000;
    StartWithDevice(slow);
    ASSERT_TRUE(Harness().Press(IDC_LOG_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return View().Position() > 0; }));
    auto reads = [&] {
        size_t count = 0;
        for (const CCommandRecord& r : devices.front()->CommandLog()) {
            count += r.word == CommandWord(CMD_READ_BLOCK) ? 1 : 0;
        }
        return count;
    };
    const size_t readsAtExit = reads();
    ASSERT_TRUE(Harness().Press(IDC_LOG_EXIT));  // the log page's Exit has the same id
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
    EXPECT_LE(reads(), readsAtExit + 1);  // at most the read under way
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(LogPage, ANameWithoutExtensionThatMeetsAnEarlierLogAsksBeforeReplacingIt) {
    const std::filesystem::path earlier = folder / "TL20170315.trv";
    {
        std::ofstream out(earlier, std::ios::binary);
        out << "the user's earlier log";
    }
    // "No" goes back to the save dialog, which then gets another name.
    nextChoices = {folder / "TL20170315", folder / "other.trv"};
    StartWithDevice(DefaultEmulatorConfig(bus.Dir()));
    Harness().Dialogs().answer = [](const CRecordedDialog& box) {
        return box.style & wxYES_NO ? wxID_NO : wxID_OK;
    };
    ASSERT_TRUE(Harness().Press(IDC_LOG_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return OnMainPage(); }));
    const auto texts = MessageTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], earlier.wstring() + L" already exists.\nDo you want to replace it?");
    EXPECT_EQ(texts[1], L"Complete");
    EXPECT_EQ(proposedNames.size(), 2u);
    const std::vector<uint8_t> kept = ReadFileBytes(earlier);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the user's earlier log");
    EXPECT_EQ(ReadFileBytes(folder / "other.trv").size(), TRV_HEADER_SIZE + LOG_SIZE);

    // "Yes" replaces it.
    nextChoices = {folder / "TL20170315"};
    Harness().Dialogs().answer = [](const CRecordedDialog& box) {
        return box.style & wxYES_NO ? wxID_YES : wxID_OK;
    };
    ASSERT_TRUE(Harness().Press(IDC_LOG_START));
    ASSERT_TRUE(Harness().PumpUntil([&] { return OnMainPage() && MessageTexts().size() == 4; }));
    EXPECT_EQ(ReadFileBytes(earlier).size(), TRV_HEADER_SIZE + LOG_SIZE);
}

// A file size limit is how a write is made to fail midway here; Windows has none.
#ifndef _WIN32
TEST_F(LogPage, AWriteThatFailsMidwayIsAWriteErrorClosesAndKeepsNoPart) {
    // Files may grow to 1000 bytes only, from the moment the name is chosen.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    beforeSave = [previous] {
        rlimit limited = previous;
        limited.rlim_cur = 1000;
        setrlimit(RLIMIT_FSIZE, &limited);
    };
    StartWithDevice(DefaultEmulatorConfig(bus.Dir()));
    ASSERT_TRUE(Harness().Press(IDC_LOG_START));
    const bool closed = Harness().PumpUntil([&] { return Harness().Closed(); });
    setrlimit(RLIMIT_FSIZE, &previous);
    ASSERT_TRUE(closed);
    const auto boxes = Harness().Dialogs().Messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].message, "FileWriteError");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 0);
}

#endif

}  // namespace

}  // namespace teelink
