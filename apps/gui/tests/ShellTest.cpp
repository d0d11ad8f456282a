#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/gauge.h>

#include <set>

#include "gui/AssertHandler.h"
#include "gui/MainFrame.h"
#include "gui/TeelinkApp.h"
#include "pages/log/LogPageIds.h"
#include "pages/main/MainPageIds.h"
#include "pages/update/UpdatePageIds.h"
#include "testsupport/GuiHarness.h"
#include "testsupport/TestHttpServer.h"

namespace teelink {

namespace {

// A server that answers the start-up requests, and no devices at all.
struct CStartupServer {
    CTestHttpServer server;
    CStartupServer() { server.AnswerWith(StartupResponder()); }
    CAppOptions Options() const {
        CAppOptions options;
        options.devices.useHidapi = false;
        options.devices.emulatorBusDir = "";
        options.scriptUrl = server.ScriptUrl();
        return options;
    }
};

// After any sequence of switches exactly one page is visible, it is the active
// page and carries the first-pane id; the hidden ones carry the other three.
void ExpectOnePageActive(CTeelinkApp& app) {
    int visible = 0;
    std::set<int> hiddenIds;
    for (int page = VIEW_MAIN; page <= VIEW_FAVORITE; ++page) {
        CPage* p = app.Page(page);
        if (p->IsShown()) {
            ++visible;
            EXPECT_EQ(p, app.ActiveView());
            EXPECT_EQ(p->PaneId(), ID_PANE_FIRST);
        } else {
            hiddenIds.insert(p->PaneId());
        }
    }
    EXPECT_EQ(visible, 1);
    EXPECT_EQ(hiddenIds, (std::set<int>{ID_PANE_FIRST + 1, ID_PANE_FIRST + 2, ID_PANE_FIRST + 3}));
}

class Shell : public ::testing::Test {
protected:
    CStartupServer startup;
    CGuiHarness harness{startup.Options()};
};

TEST_F(Shell, LanguageDialogTakesTheSelectionWhenEndedWithEsc) {
    harness.Dialogs().languageChoice = LANGUAGE_KOREAN;
    harness.Dialogs().languageEndId = wxID_CANCEL;
    ASSERT_TRUE(harness.Start());
    EXPECT_EQ(harness.App().Language(), LANGUAGE_KOREAN);
    ASSERT_FALSE(harness.Dialogs().dialogs.empty());
    EXPECT_EQ(harness.Dialogs().dialogs.front().kind, "language");
    EXPECT_EQ(harness.Dialogs().dialogs.front().caption, "Select Language");
}

TEST_F(Shell, LanguageDialogLeftUntouchedGivesJapanese) {
    ASSERT_TRUE(harness.Start());
    EXPECT_EQ(harness.App().Language(), LANGUAGE_JAPANESE);
}

TEST_F(Shell, StartsOnTheMainPageWithTheOtherPagesHidden) {
    ASSERT_TRUE(harness.Start());
    CTeelinkApp& app = harness.App();
    EXPECT_EQ(app.ActiveView(), app.Page(VIEW_MAIN));
    EXPECT_TRUE(app.Frame()->IsShown());
    EXPECT_EQ(app.Frame()->GetTitle(), "Zorvik R7/KS PC Tool");
    EXPECT_EQ(app.Frame()->GetMenuBar(), nullptr);
    EXPECT_EQ(app.Page(VIEW_UPDATE)->GetName(), "Update");
    EXPECT_EQ(app.Page(VIEW_TREVLOG)->GetName(), "TrevLog");
    EXPECT_EQ(app.Page(VIEW_FAVORITE)->GetName(), "Favorite");
    ExpectOnePageActive(app);
}

TEST_F(Shell, SwitchViewSelectsThePageAndReturnsThePreviousOne) {
    ASSERT_TRUE(harness.Start());
    CTeelinkApp& app = harness.App();
    EXPECT_EQ(app.SwitchView(VIEW_UPDATE), app.Page(VIEW_MAIN));
    EXPECT_EQ(app.ActiveView(), app.Page(VIEW_UPDATE));
    ExpectOnePageActive(app);
    EXPECT_EQ(app.SwitchView(VIEW_TREVLOG), app.Page(VIEW_UPDATE));
    ExpectOnePageActive(app);
    EXPECT_EQ(app.SwitchView(VIEW_FAVORITE), app.Page(VIEW_TREVLOG));
    ExpectOnePageActive(app);
    for (int outOfRange : {0, -1, 4, 1000}) {
        app.SwitchView(VIEW_UPDATE);
        app.SwitchView(outOfRange);
        EXPECT_EQ(app.ActiveView(), app.Page(VIEW_MAIN)) << outOfRange;
        ExpectOnePageActive(app);
    }
}

TEST_F(Shell, SwitchingToTheActivePageKeepsTheIds) {
    ASSERT_TRUE(harness.Start());
    CTeelinkApp& app = harness.App();
    app.SwitchView(VIEW_TREVLOG);
    const int updateId = app.Page(VIEW_UPDATE)->PaneId();
    EXPECT_EQ(app.SwitchView(VIEW_TREVLOG), app.Page(VIEW_TREVLOG));
    EXPECT_EQ(app.Page(VIEW_UPDATE)->PaneId(), updateId);
    ExpectOnePageActive(app);
}

TEST_F(Shell, HiddenPagesKeepTheirStateAcrossSwitches) {
    ASSERT_TRUE(harness.Start());
    CTeelinkApp& app = harness.App();
    app.SwitchView(VIEW_UPDATE);
    auto* exitButton = dynamic_cast<wxButton*>(harness.Control(1002));
    ASSERT_NE(exitButton, nullptr);
    exitButton->SetLabel("kept");
    app.SwitchView(VIEW_MAIN);
    app.SwitchView(VIEW_UPDATE);
    EXPECT_EQ(exitButton->GetLabel(), "kept");
}

TEST(ShellExit, ExitOnAnyPageEndsTheProgramWithoutAQuestion) {
    struct Case {
        int page;
        int exitId;
    };
    for (Case c : {Case{VIEW_MAIN, IDC_MAIN_EXIT}, Case{VIEW_UPDATE, IDC_UPDATE_EXIT},
                   Case{VIEW_TREVLOG, IDC_LOG_EXIT}}) {
        CStartupServer startup;
        CGuiHarness h(startup.Options());
        ASSERT_TRUE(h.Start());
        h.App().SwitchView(c.page);
        ASSERT_TRUE(h.Press(c.exitId)) << c.page;
        EXPECT_TRUE(h.PumpUntil([&] { return h.Closed(); })) << c.page;
        // Nothing asks: no box with a question. (Without a device, the log
        // page's read, or the update page's download from a server without
        // packages, may have failed before Exit was pressed: those errors are
        // no questions.)
        for (const CRecordedDialog& box : h.Dialogs().Messages()) {
            EXPECT_EQ(box.style & (wxYES_NO | wxCANCEL | wxICON_QUESTION), 0) << c.page;
            EXPECT_TRUE((c.page == VIEW_TREVLOG && box.message == "USB Open Error") ||
                        (c.page == VIEW_UPDATE && box.message == "Error: Download data"))
                << c.page << ": " << box.message;
        }
    }
}

}  // namespace

namespace {

TEST_F(Shell, TheAboutCommandShowsTheVersionBox) {
    ASSERT_TRUE(harness.Start());
    wxString title;
    wxString texts;
    harness.Dialogs().onOther = [&](wxDialog* dialog) {
        title = dialog->GetTitle();
        for (wxWindow* child : dialog->GetChildren()) {
            texts += child->GetLabel() + "\n";
        }
    };
    wxCommandEvent about(wxEVT_MENU, wxID_ABOUT);
    harness.App().Frame()->GetEventHandler()->ProcessEvent(about);
    EXPECT_EQ(title, wxString::FromUTF8("バージョン情報 Teelink"));
    EXPECT_NE(texts.Find("Teelink, Version 1.0"), wxNOT_FOUND);
    EXPECT_NE(texts.Find("1.0.0.3"), wxNOT_FOUND);
}

}  // namespace

namespace {

TEST(ProductAssertions, AreWrittenToStandardErrorAndShowNoDialog) {
#if !wxDEBUG_LEVEL
    GTEST_SKIP() << "this toolkit build has its assertions compiled out";
#endif
    CStartupServer startup;
    CGuiHarness h(startup.Options());
    ASSERT_TRUE(h.Start());
    const wxAssertHandler_t previous = wxSetAssertHandler(LogAssertionToStderr);
    testing::internal::CaptureStderr();
    {
        // wxGTK asserts on a gauge value beyond its range.
        wxGauge gauge(h.App().Frame(), wxID_ANY, 1000);
        gauge.SetValue(1500);
    }
    const std::string logged = testing::internal::GetCapturedStderr();
    wxSetAssertHandler(previous);
    EXPECT_NE(logged.find("toolkit assertion"), std::string::npos) << logged;
    EXPECT_TRUE(h.Dialogs().dialogs.size() == 1 && h.Dialogs().dialogs[0].kind == "language");
    EXPECT_FALSE(h.Closed());
}

}  // namespace

}  // namespace teelink
