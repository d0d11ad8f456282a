#include <gtest/gtest.h>
#include <wx/statbmp.h>

#include <algorithm>

#include "BuildConfig.h"
#include "device/Protocol.h"
#include "pages/main/MainPageIds.h"
#include "pages/main/TeelinkView.h"
#include "refserver/AnswerWriter.h"
#include "resources/Images.h"
#include "testsupport/PageTestSupport.h"

namespace teelink {

namespace {

class MainPage : public CPageTest {
protected:
    CTeelinkView& View() { return *App().PageAs<CTeelinkView>(VIEW_MAIN); }
    bool StartButtonsEnabled() {
        return Enabled(IDC_COURSE_START) && Enabled(IDC_SYSTEM_START) && Enabled(IDC_LOG_START);
    }
    bool StartButtonsDisabled() {
        return !Enabled(IDC_COURSE_START) && !Enabled(IDC_SYSTEM_START) && !Enabled(IDC_LOG_START);
    }
    // The picture on screen is that of `imageId`, pixel for pixel.
    bool PictureIs(int imageId) {
        auto* picture = dynamic_cast<wxStaticBitmap*>(Harness().Control(IDC_DEVICE_PICTURE));
        if (picture == nullptr) {
            return false;
        }
        const wxImage shown = picture->GetBitmap().ConvertToImage();
        const wxImage expected = ImageBitmap(imageId, picture).ConvertToImage();
        return shown.GetSize() == expected.GetSize() &&
               std::equal(shown.GetData(),
                          shown.GetData() + shown.GetWidth() * shown.GetHeight() * 3,
                          expected.GetData());
    }
    // The current version stands on pink, as a version to update does.
    bool VersionOnPink() {
        return Harness().Control(IDC_CURRENT_VERSION)->GetBackgroundColour() ==
               wxColour(255, 192, 192);
    }
    bool WaitForDevice() {
        return Harness().PumpUntil([&] { return View().DeviceShown() && StartButtonsEnabled(); });
    }
};

TEST_F(MainPage, WithoutADeviceTheStartButtonsStayDisabled) {
    StartApp(LANGUAGE_JAPANESE);
    Harness().PumpFor(400);  // a few ticks
    EXPECT_TRUE(StartButtonsDisabled());
    EXPECT_TRUE(PictureIs(IMG_NOT_CONNECTED_JA));
    EXPECT_TRUE(Shown(IDC_POWER_HINT));
    EXPECT_EQ(Label(IDC_CURRENT_VERSION), L"-----");
    EXPECT_TRUE(VersionOnPink());  // no version differs from "---"
    EXPECT_EQ(Label(IDC_LATEST_VERSION), L"");
    EXPECT_EQ(Label(IDC_TOOL_VERSION), L"PC Tool Ver.\n1.0.0.3");
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(MainPage, ADeviceIsIdentifiedOnceAndShownWithItsVersions) {
    server.AnswerWith(StartupResponder("1.0.0.3:1.05:2.00:3.00:"));
    CDeviceEmulator& device = PlugDevice();  // R7, hardware A01, version 1.05
    StartApp();
    ASSERT_TRUE(WaitForDevice());
    EXPECT_TRUE(PictureIs(IMG_CONNECTED_EN));
    EXPECT_FALSE(Shown(IDC_POWER_HINT));
    EXPECT_EQ(Label(IDC_MODEL), L"R7 : A01");
    EXPECT_EQ(Label(IDC_CURRENT_VERSION), L"1.05");
    EXPECT_EQ(Label(IDC_LATEST_VERSION), L"1.05");
    EXPECT_FALSE(VersionOnPink());
    EXPECT_EQ(App().Doc().m_strCourseDate, L"170315");
    Harness().PumpFor(5 * pollPeriodMs);
    EXPECT_EQ(IdentityReads(device), 1);  // later ticks only refresh
}

TEST_F(MainPage, AnOutdatedDeviceVersionIsMarked) {
    server.AnswerWith(StartupResponder("1.0.0.3:1.06:2.00:3.00:"));
    PlugDevice();
    StartApp();
    ASSERT_TRUE(WaitForDevice());
    EXPECT_EQ(Label(IDC_LATEST_VERSION), L"1.06");
    EXPECT_TRUE(VersionOnPink());
}

TEST_F(MainPage, UnpluggingKeepsTheLastLabelsAndReplugReadsAgain) {
    CDeviceEmulator& device = PlugDevice();
    StartApp();
    ASSERT_TRUE(WaitForDevice());
    device.Unplug();
    ASSERT_TRUE(Harness().PumpUntil([&] { return !View().DeviceShown(); }));
    EXPECT_TRUE(StartButtonsDisabled());
    EXPECT_EQ(Label(IDC_CURRENT_VERSION), L"-----");
    EXPECT_EQ(Label(IDC_MODEL), L"R7 : A01");
    EXPECT_EQ(Label(IDC_LATEST_VERSION), L"1.05");
    EXPECT_TRUE(Shown(IDC_POWER_HINT));
    EXPECT_TRUE(PictureIs(IMG_NOT_CONNECTED_EN));

    CEmulatorConfig ks2 = DefaultEmulatorConfig(bus.Dir());
    ks2.identity = MakeIdentityRecord("KS2", "B2", "3.00");
    ks2.label = "again";
    CDeviceEmulator& second = PlugDevice(ks2);
    ASSERT_TRUE(WaitForDevice());
    EXPECT_EQ(IdentityReads(second), 1);
    EXPECT_EQ(Label(IDC_MODEL), L"KS2 : B2");
}

TEST_F(MainPage, ReturningFromAnotherPageDoesNotReadTheDeviceAgain) {
    CDeviceEmulator& device = PlugDevice();
    StartApp();
    ASSERT_TRUE(WaitForDevice());
    App().SwitchView(VIEW_FAVORITE);
    EXPECT_FALSE(View().Polling());
    App().SwitchView(VIEW_MAIN);
    Harness().PumpFor(4 * pollPeriodMs);
    EXPECT_TRUE(View().DeviceShown());
    EXPECT_EQ(IdentityReads(device), 1);
    // The polling runs again: an unplug after the return is seen.
    device.Unplug();
    EXPECT_TRUE(Harness().PumpUntil([&] { return PictureIs(IMG_NOT_CONNECTED_EN); }));
    EXPECT_TRUE(StartButtonsDisabled());
}

TEST_F(MainPage, TheFavouritesEntryFollowsTheBuildAndLeadsToTheFavouritesPage) {
    StartApp();
    for (int id :
         {IDC_FAVORITES_GROUP, IDC_FAVORITES_SELECT, IDC_FAVORITES_LIMIT, IDC_FAVORITES_SETTING}) {
        EXPECT_EQ(Shown(id), teelink::build::kShowFavourites) << id;
        EXPECT_EQ(Enabled(id), teelink::build::kShowFavourites) << id;
    }
    // The button's command enters the page in either build.
    wxCommandEvent press(wxEVT_BUTTON, IDC_FAVORITES_SETTING);
    View().GetEventHandler()->ProcessEvent(press);
    EXPECT_EQ(App().ActiveView(), App().Page(VIEW_FAVORITE));
}

// The favourites page reads the document's device path, which the identity
// read writes on its worker: the entry waits for the read, as Start does.
TEST_F(MainPage, TheFavouritesEntryWaitsWhileTheIdentityIsRead) {
    showFavourites = true;  // as the builds that offer it
    CEmulatorConfig slow = DefaultEmulatorConfig(bus.Dir());
    slow.reportIntervalUs = 20000;  // the identity and date reads take over a second
    CDeviceEmulator& r7 = PlugDevice(slow);
    StartApp();
    // The device has the read's command, and its result has not been taken.
    ASSERT_TRUE(
        Harness().PumpUntil([&] { return IdentityReads(r7) >= 1 && !View().DeviceShown(); }));
    EXPECT_FALSE(Enabled(IDC_FAVORITES_SETTING));
    EXPECT_FALSE(Harness().Press(IDC_FAVORITES_SETTING));
    EXPECT_EQ(App().ActiveView(), App().Page(VIEW_MAIN));
    ASSERT_TRUE(WaitForDevice());
    EXPECT_TRUE(Enabled(IDC_FAVORITES_SETTING));
    ASSERT_TRUE(Harness().Press(IDC_FAVORITES_SETTING));
    EXPECT_EQ(App().ActiveView(), App().Page(VIEW_FAVORITE));
}

TEST_F(MainPage, TwoDevicesBringMessageTenOnEveryTickAndNothingElse) {
    PlugDevice();
    StartApp();
    ASSERT_TRUE(WaitForDevice());
    CEmulatorConfig other = DefaultEmulatorConfig(bus.Dir());
    other.label = "second";
    PlugDevice(other);
    ASSERT_TRUE(Harness().PumpUntil([&] { return MessageTexts().size() >= 3; }));
    for (const std::wstring& text : MessageTexts()) {
        EXPECT_EQ(text, L"Please connect one device at a time.");
    }
    EXPECT_TRUE(StartButtonsEnabled());
    EXPECT_TRUE(View().DeviceShown());
    for (const CRecordedDialog& d : Harness().Dialogs().Messages()) {
        EXPECT_EQ(d.caption, "Error");
        EXPECT_TRUE((d.style & wxICON_ERROR) != 0);
    }
}

// The device the page shows is the one every Start button acts on: a device
// left alone after two were seen is read before the page shows it, so the
// system data of one model is never fetched for another.
TEST_F(MainPage, TheDeviceLeftOfTwoIsIdentifiedAnewBeforeItCanBeUpdated) {
    CDeviceEmulator& r7 = PlugDevice();
    StartApp();
    ASSERT_TRUE(WaitForDevice());
    CEmulatorConfig ks2 = DefaultEmulatorConfig(bus.Dir());
    ks2.identity = MakeIdentityRecord("KS2", "B2", "3.00");
    ks2.label = "second";
    CDeviceEmulator& second = PlugDevice(ks2);
    ASSERT_TRUE(Harness().PumpUntil([&] { return !MessageTexts().empty(); }));
    r7.Unplug();
    ASSERT_TRUE(Harness().PumpUntil([&] { return Label(IDC_MODEL) == L"KS2 : B2"; }));
    ASSERT_TRUE(WaitForDevice());
    EXPECT_EQ(IdentityReads(second), 1);
    EXPECT_EQ(App().Doc().m_strDevicePath, second.DevicePath());
    // System Start asks for the KS2's data.
    ASSERT_TRUE(Harness().Press(IDC_SYSTEM_START));
    ASSERT_TRUE(Harness().PumpUntil([&] {
        const auto queries = server.Queries();
        return !queries.empty() && queries.back().rfind("md=3", 0) == 0;
    }));
    EXPECT_EQ(server.Queries().back(), "md=3&pd=KS2&mdl=B2");
}

// A device swapped while another page was shown is read on the first tick
// after the return; the one that stayed is not (see above).
TEST_F(MainPage, ADeviceSwappedWhileAnotherPageWasShownIsIdentifiedOnReturn) {
    CDeviceEmulator& r7 = PlugDevice();
    StartApp();
    ASSERT_TRUE(WaitForDevice());
    App().SwitchView(VIEW_FAVORITE);
    r7.Unplug();
    CEmulatorConfig ks2 = DefaultEmulatorConfig(bus.Dir());
    ks2.identity = MakeIdentityRecord("KS2", "B2", "3.00");
    ks2.label = "swapped";
    CDeviceEmulator& second = PlugDevice(ks2);
    App().SwitchView(VIEW_MAIN);
    ASSERT_TRUE(Harness().PumpUntil([&] { return Label(IDC_MODEL) == L"KS2 : B2"; }));
    EXPECT_EQ(IdentityReads(second), 1);
    EXPECT_EQ(Label(IDC_CURRENT_VERSION), L"3.00");
    EXPECT_TRUE(StartButtonsEnabled() ||
                Harness().PumpUntil([&] { return StartButtonsEnabled(); }));
}

TEST_F(MainPage, AFailedIdentityReadShowsTheDeviceErrorThenMessageNineAndCloses) {
    CEmulatorConfig refusing = DefaultEmulatorConfig(bus.Dir());
    refusing.faults.refuseAckFor = 0x06;
    PlugDevice(refusing);
    StartApp();
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
    const auto boxes = Harness().Dialogs().Messages();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].message, "ack error");
    EXPECT_EQ(boxes[0].caption, "TLR8");
    EXPECT_EQ(boxes[1].message, "Communication failed with device");
    EXPECT_EQ(boxes[1].caption, "Error");
}

TEST_F(MainPage, AnUnreachableOrMalformedServerClosesAfterMessageSeventeen) {
    for (const std::string& body : {std::string("<html>503</html>"), std::string()}) {
        server.Answer(body);
        StartApp();
        ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
        EXPECT_EQ(MessageTexts(), std::vector<std::wstring>{L"Server connection error"});
        harness.reset();
    }
}

TEST_F(MainPage, AMalformedAreaListClosesAfterMessageSeventeen) {
    server.AnswerWith([](const std::string& query) -> std::string {
        return query == "md=1" ? std::string(
                                     "TL\0"
                                     "1.0.0.3:1:1:1:",
                                     17)
                               : "junk";
    });
    StartApp();
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
    EXPECT_EQ(MessageTexts(), std::vector<std::wstring>{L"Server connection error"});
}

TEST_F(MainPage, AnotherToolVersionAsksForTheUpdateOpensTheDownloadPageAndCloses) {
    struct Case {
        std::wstring own;
        std::string server;
        bool current;
    };
    const Case cases[] = {
        {L"1.0.0.3", "1.0.9.9", true}, {L"1.0.0.3", "1.1.0.0", false},
        {L"1.0.0.3", "2.0", false},    {L"1.0.0.3", "1.00.0.3", false},
        {L"1.0.0.3", "1", false},      {L"1.1.0.0", "1.0.0.3", false},
        {L"", "1.0.0.3", false},       {L"", "", true},
    };
    for (const Case& c : cases) {
        toolVersion = c.own;
        server.AnswerWith(StartupResponder(c.server + ":1:1:1:"));
        {
            std::lock_guard lock(urlMutex);
            urls.clear();
        }
        StartApp();
        Harness().PumpFor(50);
        if (c.current) {
            EXPECT_FALSE(Harness().Closed()) << c.server;
            EXPECT_TRUE(MessageTexts().empty()) << c.server;
        } else {
            ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); })) << c.server;
            const auto boxes = Harness().Dialogs().Messages();
            ASSERT_EQ(boxes.size(), 1u) << c.server;
            EXPECT_EQ(boxes[0].message, "New version of the tool is available to install. ");
            EXPECT_EQ(boxes[0].caption, "Info");
            EXPECT_TRUE((boxes[0].style & wxICON_INFORMATION) != 0);
            ASSERT_EQ(OpenedUrls().size(), 1u);
            EXPECT_NE(OpenedUrls()[0].find("/tlp/r8/update.php"), std::string::npos);
        }
        harness.reset();
    }
}

TEST_F(MainPage, TheChosenLanguageDecidesTextsAndPictures) {
    StartApp(LANGUAGE_JAPANESE);
    EXPECT_EQ(Label(IDC_MAIN_EXIT), L"終了");
    EXPECT_EQ(Label(IDC_COURSE_GROUP), L"ゴルフ場データの更新");
    EXPECT_EQ(Label(IDC_JAPANESE_ONLY), L"(Japanese only)");
    EXPECT_EQ(View().m_nBmpNotConnected, 318);
    harness.reset();
    StartApp(LANGUAGE_KOREAN);
    EXPECT_EQ(Label(IDC_MAIN_EXIT), L"종료");
    EXPECT_EQ(Label(IDC_JAPANESE_ONLY), L"(Japanese only)");
    EXPECT_EQ(Label(IDC_AREA_HINT), L"");
    EXPECT_EQ(View().m_nBmpConnected, 317);
    EXPECT_EQ(View().m_nBmpNotConnected, 319);
}

TEST_F(MainPage, TheWebsiteButtonsOpenTheAddressesOfTheLanguage) {
    struct Case {
        int language;
        const char* site;
        const char* log;
    };
    // Hosts are build options; the paths and the choice by language are fixed.
    for (Case c :
         {Case{0, "example.jp/", "example.jp/mypage/PlayData/#REGTREV"},
          Case{1, "example.com/", "example.com/"}, Case{2, "example.kr/", "example.kr/"}}) {
        StartApp(c.language);
        ASSERT_TRUE(Harness().Press(IDC_WEBSITE));
        ASSERT_TRUE(Harness().Press(IDC_LOG_WEB_PAGE));
        const auto opened = OpenedUrls();
        ASSERT_EQ(opened.size(), 2u);
        EXPECT_TRUE(opened[0].ends_with(c.site)) << opened[0];
        EXPECT_TRUE(opened[1].ends_with(c.log)) << opened[1];
        harness.reset();
        std::lock_guard lock(urlMutex);
        urls.clear();
    }
    // A language outside the table opens the Japanese pages.
    StartApp();
    App().SetLanguage(7);
    ASSERT_TRUE(Harness().Press(IDC_WEBSITE));
    ASSERT_TRUE(Harness().Press(IDC_LOG_WEB_PAGE));
    ASSERT_EQ(OpenedUrls().size(), 2u);
    EXPECT_TRUE(OpenedUrls()[0].ends_with("example.jp/"));
    EXPECT_TRUE(OpenedUrls()[1].ends_with("#REGTREV"));
}

TEST_F(MainPage, StartButtonsLeadToTheirPagesWithTheUpdateMode) {
    // The system data is a package, so that the hold below has bytes to hold
    // back: an empty answer would go out at once, fail the download and end
    // the program through its two boxes before the page is looked at.
    server.AnswerWith(StartupWithSystemPackage());
    PlugDevice();
    StartApp();
    ASSERT_TRUE(WaitForDevice());
    server.HoldAnswersAfter(0);  // the download stays under way
    ASSERT_TRUE(Harness().Press(IDC_SYSTEM_START));
    // The request has gone out and waits for its bytes: no box, the program goes on.
    ASSERT_TRUE(Harness().PumpUntil([&] {
        const auto queries = server.Queries();
        return !queries.empty() && queries.back().starts_with("md=3&");
    }));
    Harness().PumpFor(300);
    ASSERT_FALSE(Harness().Closed());
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_EQ(App().ActiveView(), App().Page(VIEW_UPDATE));
    EXPECT_EQ(App().Doc().m_nUpdateMode, UPDATE_SYSTEM_DATA);
    EXPECT_FALSE(View().Polling());
    server.Release();
}

TEST_F(MainPage, ExitWhileTheIdentityReadWaitsEndsWithoutABox) {
    CEmulatorConfig silent = DefaultEmulatorConfig(bus.Dir());
    silent.faults.noAckFor = CMD_READ_IDENTITY;  // the read waits for its limit
    PlugDevice(silent);
    StartApp();
    Harness().PumpFor(300);  // the read has begun and waits (its limit is 2 s here)
    ASSERT_TRUE(View().Polling());
    ASSERT_TRUE(Harness().Press(IDC_MAIN_EXIT));
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_LE(IdentityReads(*devices.front()), 1);
}

}  // namespace

}  // namespace teelink
