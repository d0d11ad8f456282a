// Not a test: drives the real application under a virtual display into the
// states worth showing and writes screenshots of the frame to the folder given
// in TEELINK_SCREENSHOTS (docs/images by default). Run by scripts/screenshots.sh.
#include <gtest/gtest.h>
#include <wx/dataview.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/frame.h>
#include <wx/image.h>

#include <chrono>
#include <cstdlib>

#include "gui/LangDlg.h"
#include "gui/MainFrame.h"
#include "pages/favorites/FavoritePageIds.h"
#include "pages/favorites/FavoriteView.h"
#include "pages/log/LogPageIds.h"
#include "pages/log/TrevLogView.h"
#include "pages/main/MainPageIds.h"
#include "pages/main/TeelinkView.h"
#include "pages/update/UpdateView.h"
#include "refserver/PackageBuilder.h"
#include "testsupport/PageTestSupport.h"
#ifdef TEELINK_HAVE_REFERENCE_SERVER
#include "testsupport/ReferenceServerSupport.h"
#endif

namespace teelink {

namespace {

std::string Folder() {
    const char* dir = std::getenv("TEELINK_SCREENSHOTS");
    return dir != nullptr ? dir : "docs/images";
}

// `insideModal`: the window is a dialog whose own modal loop is running.
void Capture(CGuiHarness& harness, wxWindow* window, const std::string& name,
             bool insideModal = false) {
    window->Raise();
    window->Refresh();
    window->Update();
    if (insideModal) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        CGuiHarness::PumpActiveUntil([&] { return std::chrono::steady_clock::now() > until; });
    } else {
        harness.PumpFor(300);
    }
    const wxRect r = window->GetScreenRect();
#ifdef _WIN32
    // What the screen shows there, read back through the toolkit.
    wxBitmap shot(r.width, r.height, 24);
    {
        wxScreenDC screen;
        wxMemoryDC memory(shot);
        memory.Blit(0, 0, r.width, r.height, &screen, r.x, r.y);
    }
    const std::string path = Folder() + "/" + name;
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) {
        wxImage::AddHandler(new wxPNGHandler);
    }
    EXPECT_TRUE(shot.ConvertToImage().SaveFile(path, wxBITMAP_TYPE_PNG)) << path;
#else
    const std::string command = "import -window root -crop " + std::to_string(r.width) + "x" +
                                std::to_string(r.height) + "+" + std::to_string(r.x) + "+" +
                                std::to_string(r.y) + " +repage " + Folder() + "/" + name;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
#endif
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
        ASSERT_TRUE(Harness().PumpUntil(
            [&] { return App().PageAs<CTeelinkView>(VIEW_MAIN)->DeviceShown(); }));
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
    ASSERT_TRUE(
        Harness().PumpUntil([&] { return App().PageAs<CTeelinkView>(VIEW_MAIN)->DeviceShown(); }));

    server.Answer(CoursePackage(120));
    server.HoldAnswersAfter(200000);
    ASSERT_TRUE(Harness().Press(IDC_COURSE_START));
    ASSERT_TRUE(Harness().PumpUntil(
        [&] { return App().PageAs<CUpdateView>(VIEW_UPDATE)->DownloadPosition() > 0; }));
    Capture(Harness(), App().Frame(), "update-downloading.png");
    server.Release();
    ASSERT_TRUE(Harness().PumpUntil(
        [&] { return App().PageAs<CUpdateView>(VIEW_UPDATE)->WritePosition() > 300; }, 60000));
    Capture(Harness(), App().Frame(), "update-writing.png");
    ASSERT_TRUE(
        Harness().PumpUntil([&] { return App().ActiveView() == App().Page(VIEW_MAIN); }, 60000));

    ASSERT_TRUE(Harness().Press(IDC_LOG_START));
    ASSERT_TRUE(Harness().PumpUntil(
        [&] { return App().PageAs<CTrevLogView>(VIEW_TREVLOG)->Position() > 400; }));
    Capture(Harness(), App().Frame(), "log-reading.png");
    ASSERT_TRUE(Harness().Press(IDC_LOG_CANCEL));
    Harness().PumpFor(500);
}

#ifdef TEELINK_HAVE_REFERENCE_SERVER
// The favourites page with the sample favourites, and the course selection
// dialog at the course level with its Holeview marks.
TEST_F(Screenshots, Favourites) {
    CRunningReferenceServer reference(SampleContent());
    scriptUrl = reference.ScriptUrl();
    PlugDevice();
    StartApp(LANGUAGE_ENGLISH);
    ASSERT_TRUE(
        Harness().PumpUntil([&] { return App().PageAs<CTeelinkView>(VIEW_MAIN)->DeviceShown(); }));
    App().SwitchView(VIEW_FAVORITE);
    auto& page = *App().PageAs<CFavoriteView>(VIEW_FAVORITE);
    ASSERT_TRUE(Harness().PumpUntil([&] { return Enabled(IDC_FAV_UPDATE); }));
    Capture(Harness(), App().Frame(), "favorites-page.png");
    Harness().Dialogs().driveModal = [&](wxDialog* dialog) {
        auto& dlg = *static_cast<CSelectGCDlg*>(dialog);
        auto* list = dynamic_cast<wxDataViewListCtrl*>(dialog->FindWindow(IDC_SEL_LIST));
        for (long row : {0L, 0L, 0L, 1L}) {
            ASSERT_TRUE(CGuiHarness::PumpActiveUntil([&] { return !dlg.Walk().Loading(); }));
            ActivateRow(list, row);
        }
        ASSERT_TRUE(CGuiHarness::PumpActiveUntil(
            [&] { return !dlg.Walk().Loading() && dlg.Walk().Level() == 7; }));
        list->SelectRow(1);
        Capture(Harness(), dialog, "select-course-level7.png", true);
        dialog->Close();
    };
    page.EditSlot(4);
}

#endif

}  // namespace

}  // namespace teelink
