#include <gtest/gtest.h>
#include <wx/listctrl.h>

#include <algorithm>

#include "app/MainFrame.h"
#include "device/Protocol.h"
#include "pages/favorites/FavoritePageIds.h"
#include "pages/favorites/FavoriteView.h"
#include "pages/main/TeelinkView.h"
#include "refserver/AnswerWriter.h"
#include "testsupport/PageTestSupport.h"
#include "testsupport/ReferenceServerSupport.h"
#include "ui/ListColumns.h"

namespace teelink {

namespace {

wxListCtrl* ListOf(wxWindow* parent, int id) {
    return dynamic_cast<wxListCtrl*>(wxWindow::FindWindowById(id, parent));
}

int ImageAt(wxListCtrl* list, long row, int column) {
    wxListItem item;
    item.SetId(row);
    item.SetColumn(column);
    item.SetMask(wxLIST_MASK_IMAGE);
    return list->GetItem(item) ? item.GetImage() : -2;
}

// Queries of one form (md=N&...) in the order the server saw them.
std::vector<std::string> QueriesOf(const std::vector<std::string>& queries, const std::string& md) {
    std::vector<std::string> out;
    std::copy_if(queries.begin(), queries.end(), std::back_inserter(out),
                 [&](const std::string& q) { return q.rfind("md=" + md + "&", 0) == 0; });
    return out;
}

class FavoritePage : public CPageTest {
protected:
    CFavoriteView& View() { return *App().PageAs<CFavoriteView>(VIEW_FAVORITE); }
    wxListCtrl* List() { return ListOf(&View(), IDC_FAV_LIST); }
    bool OnPage(int page) { return App().ActiveView() == App().Page(page); }

    // Starts with one device shown, then opens the favourites page the way
    // the main page's entry does.
    void OpenPage(CEmulatorConfig config) {
        PlugDevice(std::move(config));
        StartApp();
        ASSERT_TRUE(Harness().PumpUntil(
            [&] { return App().PageAs<CTeelinkView>(VIEW_MAIN)->DeviceShown(); }));
        App().SwitchView(VIEW_FAVORITE);
    }
    bool Ready() {
        return Harness().PumpUntil([&] {
            return !View().WorkerRunning() &&
                   Label(IDC_FAV_STATUS) ==
                       L"Double-click on a favorite slot that you want to change";
        });
    }
    // Every slot 1 to 15 holds course n = slot, s = 1, g = slot.
    static CEmulatorConfig FullTable(const std::string& busDir) {
        CEmulatorConfig config = DefaultEmulatorConfig(busDir);
        config.favorites = {};
        for (size_t slot = 1; slot < 16; ++slot) {
            SetFavoriteEntry(config.favorites, slot, static_cast<uint16_t>(slot), 1,
                             static_cast<uint16_t>(slot), "1601010000");
        }
        return config;
    }
    // The start-up answers, and every course known and dated `date` except
    // course `failingN`, whose answer is malformed.
    void ServeCourses(const std::string& date, int failingN = -1) {
        auto startup = StartupResponder();
        server.AnswerWith([startup, date, failingN](const std::string& query) {
            if (query.rfind("md=5&", 0) != 0) {
                return startup(query);
            }
            const int n = std::stoi(query.substr(query.find("&n=") + 3));
            return n == failingN ? std::string("<html>")
                                 : CourseInfoAnswer(date, "Course " + std::to_string(n));
        });
    }
};

TEST_F(FavoritePage, AnEmptyTableListsFifteenNumberedSlotsAsksNothingAndKeepsUpdateOff) {
    CEmulatorConfig config = DefaultEmulatorConfig(bus.Dir());
    config.favorites = {};
    OpenPage(std::move(config));
    ASSERT_TRUE(Ready());
    wxListCtrl* list = List();
    ASSERT_EQ(list->GetItemCount(), 15);
    for (long row = 0; row < 15; ++row) {
        EXPECT_EQ(list->GetItemText(row, COL_SLOT), wxString::Format("%02ld", row + 1));
        EXPECT_EQ(list->GetItemText(row, COL_NAME), wxString());
        EXPECT_EQ(list->GetItemText(row, COL_GCID), wxString());
    }
    EXPECT_TRUE(QueriesOf(server.Queries(), "5").empty());
    EXPECT_FALSE(Enabled(IDC_FAV_UPDATE));
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(FavoritePage, RowsShowTheNameTheCourseNumbersAndTheMarkWhereTheServerHasNewerData) {
    CEmulatorConfig config = DefaultEmulatorConfig(bus.Dir());
    config.favorites = {};
    SetFavoriteEntry(config.favorites, 0, 99, 9, 99, "1601010000");  // asked about, never shown
    SetFavoriteEntry(config.favorites, 1, 12, 3, 45, "1712011030");  // as new as the server's
    SetFavoriteEntry(config.favorites, 2, 7, 1, 8, "1601010000");    // older
    SetFavoriteEntry(config.favorites, 4, 0, 0, 33, "1601010000");   // n = 0: not asked about
    ServeCourses("1712011030");
    OpenPage(std::move(config));
    ASSERT_TRUE(Ready());
    wxListCtrl* list = List();
    ASSERT_EQ(list->GetItemCount(), 15);
    EXPECT_EQ(list->GetItemText(0, COL_NAME), "Course 12");
    EXPECT_EQ(list->GetItemText(0, COL_GCID), "0012-003-0045");
    EXPECT_EQ(ImageAt(list, 0, COL_MARK), 0);
    EXPECT_EQ(list->GetItemText(1, COL_NAME), "Course 7");
    EXPECT_EQ(ImageAt(list, 1, COL_MARK), 1);
    EXPECT_EQ(list->GetItemText(3, COL_NAME), "");
    EXPECT_EQ(list->GetItemText(3, COL_GCID), "0000-000-0033");
    EXPECT_EQ(ImageAt(list, 3, COL_MARK), 0);
    EXPECT_TRUE(Enabled(IDC_FAV_UPDATE));
    EXPECT_EQ(QueriesOf(server.Queries(), "5"),
              (std::vector<std::string>{"md=5&l=1&n=99&s=9&g=99", "md=5&l=1&n=12&s=3&g=45",
                                        "md=5&l=1&n=7&s=1&g=8"}));
}

TEST_F(FavoritePage, ADeviceThatRefusesTheTableShowsItsTextThenCommunicationFailureAndCloses) {
    CEmulatorConfig config = DefaultEmulatorConfig(bus.Dir());
    config.faults.refuseAckFor = CMD_READ_FAVORITES;
    OpenPage(std::move(config));
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
    const auto boxes = Harness().Dialogs().Messages();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].message, "ack error");
    EXPECT_EQ(boxes[1].message, "Communication failure");
    EXPECT_EQ(boxes[1].caption, "Teelink");
    EXPECT_NE(boxes[1].style & wxICON_ERROR, 0);
    EXPECT_EQ(Harness().Dialogs().maxBoxesShowing, 1);
}

TEST_F(FavoritePage, AServerFailureAtRecordSevenEndsTheCheckAndTheProgram) {
    ServeCourses("1712011030", 7);
    OpenPage(FullTable(bus.Dir()));
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
    const auto asked = QueriesOf(server.Queries(), "5");
    ASSERT_EQ(asked.size(), 7u);  // records 1 to 7; 8 to 15 never asked
    EXPECT_EQ(asked.back(), "md=5&l=1&n=7&s=1&g=7");
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::wstring>{L"Error: Download data", L"Communication failure"}));
}

TEST_F(FavoritePage, CancelDuringTheCheckLeavesForTheMainPageAndNoFailureFollows) {
    ServeCourses("1712011030", 3);
    OpenPage(FullTable(bus.Dir()));
    ASSERT_TRUE(Harness().PumpUntil(
        [&] { return Label(IDC_FAV_STATUS) == L"Checking on the golf course data"; }));
    server.HoldAnswersAfter(0);  // the next answer does not come
    ASSERT_TRUE(Harness().Press(IDC_FAV_CANCEL));
    EXPECT_TRUE(OnPage(VIEW_MAIN));
    server.Release();
    EXPECT_TRUE(Harness().PumpUntil([&] { return !View().WorkerRunning(); }));
    Harness().PumpFor(300);
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_FALSE(Harness().Closed());
    EXPECT_TRUE(OnPage(VIEW_MAIN));
}

TEST_F(FavoritePage, TheCloseBoxDuringTheCheckEndsTheProgramWithoutABox) {
    ServeCourses("1712011030");
    OpenPage(FullTable(bus.Dir()));
    ASSERT_TRUE(Harness().PumpUntil(
        [&] { return Label(IDC_FAV_STATUS) == L"Checking on the golf course data"; }));
    server.HoldAnswersAfter(0);
    App().Frame()->Close();
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
    EXPECT_TRUE(MessageTexts().empty());
    server.Release();
}

// The sample favourites, checked against the reference server, edited through
// the course selection dialog and written as favourite course data.
class FavoriteWalk : public FavoritePage {
protected:
    FavoriteWalk() { scriptUrl = reference.ScriptUrl(); }
    CRunningReferenceServer reference{SampleContent()};
};

TEST_F(FavoriteWalk, ACourseChosenInTheDialogIsListedAndWrittenWithTheOtherOutdatedSlots) {
    OpenPage(DefaultEmulatorConfig(bus.Dir()));
    ASSERT_TRUE(Ready());
    wxListCtrl* list = List();
    EXPECT_EQ(list->GetItemText(1, COL_NAME), "Green Hills Golf Course");
    EXPECT_EQ(ImageAt(list, 1, COL_MARK), 1);
    EXPECT_EQ(ImageAt(list, 0, COL_MARK), 0);  // as new as the server's
    EXPECT_EQ(ImageAt(list, 2, COL_MARK), 0);  // unknown to the server

    // Slot 4 (empty) gets a course from the directory, walked in the dialog's
    // own modal loop while its requests run on their worker.
    bool walked = false;
    Harness().Dialogs().driveModal = [&](wxDialog* dialog) {
        auto& dlg = *static_cast<CSelectGCDlg*>(dialog);
        wxListCtrl* entries = ListOf(dialog, IDC_SEL_LIST);
        auto shown = [&](int level) {
            return CGuiHarness::PumpActiveUntil(
                [&] { return !dlg.Walk().Loading() && dlg.Walk().Level() == level; });
        };
        ASSERT_TRUE(shown(1));
        EXPECT_EQ(entries->GetItemText(0, 1), "Japan");
        EXPECT_FALSE(dialog->FindWindow(IDC_SEL_LEGEND)->IsShown());
        EXPECT_EQ(entries->GetColumnWidth(0), 0);
        ActivateRow(entries, 0);
        ASSERT_TRUE(shown(3));  // the single country is passed through
        ActivateRow(entries, 0);
        ASSERT_TRUE(shown(5));  // the single prefecture too
        ActivateRow(entries, 0);
        ASSERT_TRUE(shown(6));
        ActivateRow(entries, 1);
        ASSERT_TRUE(shown(7));
        EXPECT_TRUE(dialog->FindWindow(IDC_SEL_LEGEND)->IsShown());
        EXPECT_EQ(entries->GetColumnWidth(0), MarkColumnWidth(20));
        EXPECT_EQ(entries->GetItemText(1, 1), "Green Hills Golf Course");
        EXPECT_EQ(ImageAt(entries, 1, 0), 1);  // the Holeview mark
        EXPECT_EQ(ImageAt(entries, 0, 0), 0);
        walked = true;
        ActivateRow(entries, 1);  // ends the dialog with OK
    };
    ActivateRow(list, 3);
    ASSERT_TRUE(walked);
    EXPECT_EQ(list->GetItemText(3, COL_NAME), "Green Hills Golf Course");
    EXPECT_EQ(list->GetItemText(3, COL_GCID), "0001-001-0002");
    EXPECT_EQ(ImageAt(list, 3, COL_MARK), 1);
    EXPECT_TRUE(Enabled(IDC_FAV_UPDATE));

    ASSERT_TRUE(Harness().Press(IDC_FAV_UPDATE));
    EXPECT_TRUE(OnPage(VIEW_UPDATE));
    ASSERT_TRUE(Harness().PumpUntil([&] { return OnPage(VIEW_MAIN); }, 60000));
    EXPECT_EQ(MessageTexts(), std::vector<std::wstring>{L"Complete"});
    // Slots 2, 4 and 5 need data; slot 0 and the current or unknown ones not.
    const std::string keys = std::string(10, '0') + "0001010002" + std::string(10, '0') +
                             "0001010002" + "0001010007" + std::string(100, '0');
    bool asked = false;
    for (const std::string& line : reference.LogLines()) {
        asked = asked || line.find("md=13&pd=R7&f=" + keys) != std::string::npos;
    }
    EXPECT_TRUE(asked);
    EXPECT_EQ(Harness().Dialogs().maxBoxesShowing, 1);
}

TEST_F(FavoriteWalk, AFailedLevelShowsItsTextThenFailedToDownloadAndCloses) {
    OpenPage(DefaultEmulatorConfig(bus.Dir()));
    ASSERT_TRUE(Ready());
    Harness().Dialogs().driveModal = [&](wxDialog* dialog) {
        auto& dlg = *static_cast<CSelectGCDlg*>(dialog);
        ASSERT_TRUE(CGuiHarness::PumpActiveUntil([&] { return !dlg.Walk().Loading(); }));
        // The server goes away before the next level is asked for.
        Harness().App().Doc().m_strScriptUrl = RefusedScriptUrl();
        ActivateRow(ListOf(dialog, IDC_SEL_LIST), 0);
        CGuiHarness::PumpActiveUntil([&] { return Harness().App().IsClosing(); });
    };
    ActivateRow(List(), 0);
    ASSERT_TRUE(Harness().PumpUntil([&] { return Harness().Closed(); }));
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::wstring>{L"Error: Connect server", L"Failed to download."}));
    const auto boxes = Harness().Dialogs().Messages();
    EXPECT_EQ(boxes.back().caption, "Teelink");
}

TEST_F(FavoriteWalk, EscapeAtAnyLevelEndsTheDialogWithoutChangingTheSlot) {
    OpenPage(DefaultEmulatorConfig(bus.Dir()));
    ASSERT_TRUE(Ready());
    Harness().Dialogs().driveModal = [&](wxDialog* dialog) {
        auto& dlg = *static_cast<CSelectGCDlg*>(dialog);
        ASSERT_TRUE(CGuiHarness::PumpActiveUntil([&] { return !dlg.Walk().Loading(); }));
        ActivateRow(ListOf(dialog, IDC_SEL_LIST), 0);  // a request under way
        dialog->Close();                               // the close box
    };
    const wxString before = List()->GetItemText(0, COL_NAME);
    ActivateRow(List(), 0);
    Harness().PumpFor(200);
    EXPECT_EQ(List()->GetItemText(0, COL_NAME), before);
    EXPECT_FALSE(Harness().Closed());
    EXPECT_TRUE(MessageTexts().empty());
}

// A key as the toolkit hands it to the dialog before any control.
void PressKey(wxDialog* dialog, int keyCode) {
    wxKeyEvent key(wxEVT_CHAR_HOOK);
    key.m_keyCode = keyCode;
    key.SetEventObject(dialog);
    dialog->GetEventHandler()->ProcessEvent(key);
}

// Keys alone: each level's list has the keyboard on its first row, Space
// chooses it, Enter chooses nothing, and Esc ends the dialog at any level.
TEST_F(FavoriteWalk, TheKeyboardAloneWalksTheLevelsAndEscEnds) {
    OpenPage(DefaultEmulatorConfig(bus.Dir()));
    ASSERT_TRUE(Ready());
    int levels = 0;
    Harness().Dialogs().driveModal = [&](wxDialog* dialog) {
        auto& dlg = *static_cast<CSelectGCDlg*>(dialog);
        wxListCtrl* list = ListOf(dialog, IDC_SEL_LIST);
        ASSERT_TRUE(CGuiHarness::PumpActiveUntil([&] { return !dlg.Walk().Loading(); }));
        const int first = dlg.Walk().Level();
        EXPECT_EQ(list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED), 0);
        EXPECT_EQ(wxWindow::FindFocus(), list);
        PressKey(dialog, WXK_RETURN);  // nothing
        EXPECT_EQ(dlg.Walk().Level(), first);
        EXPECT_FALSE(dlg.Walk().Loading());
        PressKey(dialog, WXK_SPACE);  // the first row: the next level
        ASSERT_TRUE(CGuiHarness::PumpActiveUntil(
            [&] { return !dlg.Walk().Loading() && dlg.Walk().Level() != first; }));
        levels = 2;
        EXPECT_EQ(list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED), 0);
        PressKey(dialog, WXK_ESCAPE);
    };
    const wxString before = List()->GetItemText(0, COL_NAME);
    ActivateRow(List(), 0);
    Harness().PumpFor(200);
    EXPECT_EQ(levels, 2);
    EXPECT_EQ(List()->GetItemText(0, COL_NAME), before);
    EXPECT_FALSE(Harness().Closed());
    EXPECT_TRUE(MessageTexts().empty());
}

}  // namespace

}  // namespace teelink
