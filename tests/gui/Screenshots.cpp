// Not a test: drives the real application under a virtual display into the
// states worth showing and writes screenshots of the frame to the folder given
// in TEELINK_SCREENSHOTS (docs/images by default). Run by scripts/screenshots.sh.
#include <gtest/gtest.h>
#include <wx/frame.h>

#include <cstdlib>

#include "app/LangDlg.h"
#include "app/MainFrame.h"
#include "pages/log/TrevLogView.h"
#include "pages/main/TeelinkView.h"
#include "pages/update/UpdateView.h"
#include "refserver/PackageBuilder.h"
#include "tests/pages/PageTestSupport.h"

namespace {

std::string Folder() {
    const char* dir = std::getenv("TEELINK_SCREENSHOTS");
    return dir != nullptr ? dir : "docs/images";
}

void Capture(CGuiHarness& harness, wxWindow* window, const std::string& name) {
    window->Raise();
    window->Refresh();
    window->Update();
    harness.PumpFor(300);
    const wxRect r = window->GetScreenRect();
    const std::string command = "import -window root -crop " + std::to_string(r.width) + "x" +
                                std::to_string(r.height) + "+" + std::to_string(r.x) + "+" +
                                std::to_string(r.y) + " +repage " + Folder() + "/" + name;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

class Screenshots : public CPageTest {
protected:
    static std::string CoursePackage(int blocks) {
        std::vector<uint8_t> payload = CourseDataHeader("171201");
        payload.resize(payload.size() + static_cast<size_t>(blocks) * 4096, 0x5A);
        return PackageAnswer(BuildPackage({{"course", MakeEntry(0x280000, payload), false}}));
    }
};

TEST_F(Screenshots, LanguageDialog) {
    StartApp(LANGUAGE_JAPANESE);
    CLangDlg dialog(App().Frame());
    dialog.Show();
    Capture(Harness(), &dialog, "language-dialog.png");
    dialog.Hide();
}

TEST_F(Screenshots, MainPage) {
    server.AnswerWith(StartupResponder("1.0.0.3:1.06:2.00:3.00:"));
    for (int language : {LANGUAGE_JAPANESE, LANGUAGE_ENGLISH}) {
        const std::string suffix = language == LANGUAGE_JAPANESE ? "ja" : "en";
        StartApp(language);
        Harness().PumpFor(300);
        Capture(Harness(), App().Frame(), "main-no-device-" + suffix + ".png");
        CEmulatorConfig config = DefaultEmulatorConfig(bus.Dir());
        config.label = "shot" + suffix;
        CDeviceEmulator& device = PlugDevice(config);
        ASSERT_TRUE(Harness().PumpUntil([&] { return App().PageAs<CTeelinkView>(VIEW_MAIN)->DeviceShown(); }));
        Capture(Harness(), App().Frame(), "main-connected-" + suffix + ".png");
        device.Unplug();
        harness.reset();
    }
}

TEST_F(Screenshots, UpdateAndLogPages) {
    CEmulatorConfig slow = DefaultEmulatorConfig(bus.Dir());
    slow.reportIntervalUs = 1000;
    slow.logImage.assign(LOG_SIZE, 0x11);
    PlugDevice(slow);
    StartApp(LANGUAGE_ENGLISH);
    ASSERT_TRUE(Harness().PumpUntil([&] { return App().PageAs<CTeelinkView>(VIEW_MAIN)->DeviceShown(); }));

    server.Answer(CoursePackage(120));
    server.HoldAnswersAfter(200000);
    ASSERT_TRUE(Harness().Press(1000));
    ASSERT_TRUE(Harness().PumpUntil([&] { return App().PageAs<CUpdateView>(VIEW_UPDATE)->DownloadPosition() > 0; }));
    Capture(Harness(), App().Frame(), "update-downloading.png");
    server.Release();
    ASSERT_TRUE(
        Harness().PumpUntil([&] { return App().PageAs<CUpdateView>(VIEW_UPDATE)->WritePosition() > 300; }, 60000));
    Capture(Harness(), App().Frame(), "update-writing.png");
    ASSERT_TRUE(
        Harness().PumpUntil([&] { return App().ActiveView() == App().Page(VIEW_MAIN); }, 60000));

    ASSERT_TRUE(Harness().Press(1001));
    ASSERT_TRUE(Harness().PumpUntil([&] { return App().PageAs<CTrevLogView>(VIEW_TREVLOG)->Position() > 400; }));
    Capture(Harness(), App().Frame(), "log-reading.png");
    ASSERT_TRUE(Harness().Press(1006));
    Harness().PumpFor(500);
}

}  // namespace
