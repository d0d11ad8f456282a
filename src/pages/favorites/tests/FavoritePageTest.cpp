#include <gtest/gtest.h>
#include <wx/dataview.h>

#include <algorithm>

#include "device/Protocol.h"
#include "gui/MainFrame.h"
#include "pages/favorites/FavoritePageIds.h"
#include "pages/favorites/FavoriteView.h"
#include "pages/main/TeelinkView.h"
#include "refserver/AnswerWriter.h"
#include "testsupport/ListAloud.h"
#include "testsupport/PageTestSupport.h"
#include "testsupport/ReferenceServerSupport.h"
#include "ui/ListColumns.h"

namespace teelink {

namespace {

wxDataViewListCtrl* ListOf(wxWindow* parent, int id) {
    return dynamic_cast<wxDataViewListCtrl*>(wxWindow::FindWindowById(id, parent));
}

// Whether the course selection shows `level`, its list filled, within the
// harness's patience.
bool LevelShown(CSelectGCDlg& dlg, int level) {
    return CGuiHarness::PumpActiveUntil(
        [&] { return !dlg.Walk().Loading() && dlg.Walk().Level() == level; });
}

// Whether `row` shows the mark of `column`.
bool Marked(wxDataViewListCtrl* list, unsigned row, unsigned column) {
    wxVariant value;
    list->GetValue(value, row, column);
    return !value.IsNull() && value.GetBool();
}

wxString TextAt(wxDataViewListCtrl* list, unsigned row, unsigned column) {
    return list->GetTextValue(row, column);
}

int CurrentRow(wxDataViewListCtrl* list) {
    return list->ItemToRow(list->GetCurrentItem());
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
    wxDataViewListCtrl* List() { return ListOf(&View(), IDC_FAV_LIST); }
    const FavoriteSlot& Slot(int slot) {
        return App().Doc().m_favourites[static_cast<size_t>(slot)];
    }
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
    // The page opened with the check's answers held back from its first
    // request on, so that the check is under way, whatever the machine's
    // speed, until the test releases it.
    void OpenPageWithTheCheckHeld(CEmulatorConfig config) {
        PlugDevice(std::move(config));
        StartApp();
        ASSERT_TRUE(Harness().PumpUntil(
            [&] { return App().PageAs<CTeelinkView>(VIEW_MAIN)->DeviceShown(); }));
        server.HoldAnswersAfter(0);
        App().SwitchView(VIEW_FAVORITE);
        ASSERT_TRUE(Harness().PumpUntil(
            [&] { return Label(IDC_FAV_STATUS) == L"Checking on the golf course data"; }));
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
    wxDataViewListCtrl* list = List();
    ASSERT_EQ(list->GetItemCount(), 15u);
    for (unsigned row = 0; row < 15; ++row) {
        EXPECT_EQ(TextAt(list, row, COL_SLOT), wxString::Format("%02u", row + 1));
        EXPECT_EQ(TextAt(list, row, COL_NAME), wxString());
        EXPECT_FALSE(Marked(list, row, COL_MARK));
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
    wxDataViewListCtrl* list = List();
    ASSERT_EQ(list->GetItemCount(), 15u);
    EXPECT_EQ(TextAt(list, 0, COL_NAME), "Course 12");
    EXPECT_FALSE(Marked(list, 0, COL_MARK));
    EXPECT_EQ(TextAt(list, 1, COL_NAME), "Course 7");
    EXPECT_TRUE(Marked(list, 1, COL_MARK));
    EXPECT_EQ(TextAt(list, 3, COL_NAME), "");
    EXPECT_FALSE(Marked(list, 3, COL_MARK));
    EXPECT_EQ(Slot(4).g, 33);  // the row's course numbers stay with the slot
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

// Had the cancel not stopped the check, record 3 would fail it once released.
TEST_F(FavoritePage, CancelDuringTheCheckLeavesForTheMainPageAndNoFailureFollows) {
    ServeCourses("1712011030", 3);
    OpenPageWithTheCheckHeld(FullTable(bus.Dir()));
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
    OpenPageWithTheCheckHeld(FullTable(bus.Dir()));
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
    wxDataViewListCtrl* list = List();
    EXPECT_EQ(TextAt(list, 1, COL_NAME), "Green Hills Golf Course");
    EXPECT_TRUE(Marked(list, 1, COL_MARK));
    EXPECT_FALSE(Marked(list, 0, COL_MARK));  // as new as the server's
    EXPECT_FALSE(Marked(list, 2, COL_MARK));  // unknown to the server

    // Slot 4 (empty) gets a course from the directory, walked in the dialog's
    // own modal loop while its requests run on their worker.
    bool walked = false;
    Harness().Dialogs().driveModal = [&](wxDialog* dialog) {
        auto& dlg = *static_cast<CSelectGCDlg*>(dialog);
        wxDataViewListCtrl* entries = ListOf(dialog, IDC_SEL_LIST);
        const auto shown = [&dlg](int level) { return LevelShown(dlg, level); };
        ASSERT_TRUE(shown(1));
        EXPECT_EQ(TextAt(entries, 0, SEL_COL_ITEM), "Japan");
        EXPECT_FALSE(dialog->FindWindow(IDC_SEL_LEGEND)->IsShown());
        EXPECT_TRUE(entries->GetColumn(SEL_COL_MARK)->IsHidden());
        ActivateRow(entries, 0);
        ASSERT_TRUE(shown(3));  // the single country is passed through
        ActivateRow(entries, 0);
        ASSERT_TRUE(shown(5));  // the single prefecture too
        ActivateRow(entries, 0);
        ASSERT_TRUE(shown(6));
        ActivateRow(entries, 1);
        ASSERT_TRUE(shown(7));
        EXPECT_TRUE(dialog->FindWindow(IDC_SEL_LEGEND)->IsShown());
        EXPECT_FALSE(entries->GetColumn(SEL_COL_MARK)->IsHidden());
        // The tree view gives a column its width when it lays the rows out.
        EXPECT_TRUE(CGuiHarness::PumpActiveUntil(
            [&] { return entries->GetColumn(SEL_COL_MARK)->GetWidth() == MarkColumnWidth(20); }));
        EXPECT_EQ(TextAt(entries, 1, SEL_COL_ITEM), "Green Hills Golf Course");
        EXPECT_TRUE(Marked(entries, 1, SEL_COL_MARK));  // the Holeview mark
        EXPECT_FALSE(Marked(entries, 0, SEL_COL_MARK));
        walked = true;
        ActivateRow(entries, 1);  // ends the dialog with OK
    };
    ActivateRow(list, 3);
    ASSERT_TRUE(walked);
    EXPECT_EQ(TextAt(list, 3, COL_NAME), "Green Hills Golf Course");
    EXPECT_EQ(Slot(4).n, 1);
    EXPECT_EQ(Slot(4).s, 1);
    EXPECT_EQ(Slot(4).g, 2);
    EXPECT_TRUE(Marked(list, 3, COL_MARK));
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
    const wxString before = TextAt(List(), 0, COL_NAME);
    ActivateRow(List(), 0);
    Harness().PumpFor(200);
    EXPECT_EQ(TextAt(List(), 0, COL_NAME), before);
    EXPECT_FALSE(Harness().Closed());
    EXPECT_TRUE(MessageTexts().empty());
}

// Keys alone, as the toolkit gets them: each level's list has the keyboard on
// its first row, selected; Enter (which the tree view by itself takes for a
// double-click) chooses nothing, Space chooses the row, Esc ends at any level.
TEST_F(FavoriteWalk, TheKeyboardAloneWalksTheLevelsEnterChoosesNothingAndEscEnds) {
    OpenPage(DefaultEmulatorConfig(bus.Dir()));
    ASSERT_TRUE(Ready());
    int levels = 0;
    Harness().Dialogs().driveModal = [&](wxDialog* dialog) {
        auto& dlg = *static_cast<CSelectGCDlg*>(dialog);
        wxDataViewListCtrl* list = ListOf(dialog, IDC_SEL_LIST);
        ASSERT_TRUE(CGuiHarness::PumpActiveUntil([&] { return !dlg.Walk().Loading(); }));
        const int first = dlg.Walk().Level();
        EXPECT_EQ(CurrentRow(list), 0);
        EXPECT_EQ(list->GetSelectedRow(), 0);
        EXPECT_TRUE(HasKeyboard(*list));
        for (const int enter : {WXK_RETURN, WXK_NUMPAD_ENTER}) {
            PressKey(list, enter);
            CGuiHarness::PumpActiveUntil([] { return false; }, 200);
            EXPECT_EQ(dlg.Walk().Level(), first);
            EXPECT_FALSE(dlg.Walk().Loading());
            EXPECT_TRUE(dialog->IsModal());
        }
        PressKey(list, WXK_SPACE);  // the first row: the next level
        ASSERT_TRUE(CGuiHarness::PumpActiveUntil(
            [&] { return !dlg.Walk().Loading() && dlg.Walk().Level() != first; }));
        levels = 2;
        EXPECT_EQ(CurrentRow(list), 0);
        EXPECT_EQ(list->GetSelectedRow(), 0);
        PressKey(list, WXK_ESCAPE);
    };
    const wxString before = TextAt(List(), 0, COL_NAME);
    ActivateRow(List(), 0);
    Harness().PumpFor(200);
    EXPECT_EQ(levels, 2);
    EXPECT_EQ(TextAt(List(), 0, COL_NAME), before);
    EXPECT_FALSE(Harness().Closed());
    EXPECT_TRUE(MessageTexts().empty());
}

// Space chooses the row the keyboard is on, not the first one: Down moves the
// keyboard (and the reader's focus) to the second course of a level.
TEST_F(FavoriteWalk, SpaceChoosesTheRowTheKeyboardMovedTo) {
    OpenPage(DefaultEmulatorConfig(bus.Dir()));
    ASSERT_TRUE(Ready());
    bool chosen = false;
    Harness().Dialogs().driveModal = [&](wxDialog* dialog) {
        auto& dlg = *static_cast<CSelectGCDlg*>(dialog);
        wxDataViewListCtrl* entries = ListOf(dialog, IDC_SEL_LIST);
        const auto shown = [&dlg](int level) { return LevelShown(dlg, level); };
        for (const int level : {1, 3, 5}) {
            ASSERT_TRUE(shown(level));
            ActivateRow(entries, 0);
        }
        ASSERT_TRUE(shown(6));
        PressKey(entries, WXK_DOWN);
        EXPECT_EQ(CurrentRow(entries), 1);
        if (const auto aloud = ReadListAloud(*entries)) {
            EXPECT_EQ(aloud->focusedRow, 1);
        }
        PressKey(entries, WXK_SPACE);
        ASSERT_TRUE(shown(7));  // the second entry's courses, as a double-click on it
        ASSERT_GE(entries->GetItemCount(), 2u);
        EXPECT_EQ(TextAt(entries, 1, SEL_COL_ITEM), "Green Hills Golf Course");
        chosen = true;
        ActivateRow(entries, 1);  // ends the dialog with OK
    };
    ActivateRow(List(), 3);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(TextAt(List(), 3, COL_NAME), "Green Hills Golf Course");
}

// What a screen reader is given of the favourites: the list by its title, the
// columns by their headers, each slot's number, course and update mark in words.
TEST_F(FavoritePage, AScreenReaderReadsEverySlotItsCourseAndItsUpdateMarkInWords) {
    CEmulatorConfig config = DefaultEmulatorConfig(bus.Dir());
    config.favorites = {};
    SetFavoriteEntry(config.favorites, 1, 12, 3, 45, "1712011030");  // as new as the server's
    SetFavoriteEntry(config.favorites, 2, 7, 1, 8, "1601010000");    // older
    ServeCourses("1712011030");
    OpenPage(std::move(config));
    ASSERT_TRUE(Ready());
    const auto aloud = ReadListAloud(*List());
    if (!aloud) {
        GTEST_SKIP() << "no accessibility interface to read a list through here";
    }
    EXPECT_EQ(aloud->name, wxString(Label(IDC_FAV_TITLE)).utf8_string());
    EXPECT_EQ(aloud->columns, (std::vector<std::string>{"Slot", "Update", "golf course"}));
    ASSERT_EQ(aloud->rows.size(), 15u);
    EXPECT_EQ(aloud->rows[0], (std::vector<std::string>{"01", "", "Course 12"}));
    EXPECT_EQ(aloud->rows[1],
              (std::vector<std::string>{"02", "Golf course data that needs updating", "Course 7"}));
    EXPECT_EQ(aloud->rows[2], (std::vector<std::string>{"03", "", ""}));
    EXPECT_EQ(aloud->rows[14], (std::vector<std::string>{"15", "", ""}));
}

// Each level of the course selection as a screen reader meets it: one column
// where the level has no Holeview marks, the marks in words where it has, and
// the first row selected.
TEST_F(FavoriteWalk, AScreenReaderReadsEachLevelAndItsHoleviewMarksInWords) {
    OpenPage(DefaultEmulatorConfig(bus.Dir()));
    ASSERT_TRUE(Ready());
    bool read = false;
    Harness().Dialogs().driveModal = [&](wxDialog* dialog) {
        auto& dlg = *static_cast<CSelectGCDlg*>(dialog);
        wxDataViewListCtrl* entries = ListOf(dialog, IDC_SEL_LIST);
        const auto shown = [&dlg](int level) { return LevelShown(dlg, level); };
        ASSERT_TRUE(shown(1));
        auto aloud = ReadListAloud(*entries);
        if (!aloud) {
            dialog->Close();
            return;
        }
        EXPECT_EQ(aloud->name, "Select Golf Course");
        EXPECT_EQ(aloud->columns, std::vector<std::string>{"Select Golf Course"});
        ASSERT_EQ(aloud->rows.size(), entries->GetItemCount());
        EXPECT_EQ(aloud->rows[0], std::vector<std::string>{"Japan"});
        EXPECT_EQ(aloud->selectedRows, std::vector<int>{0});
        for (const auto& [row, level] : {std::pair{0, 3}, {0, 5}, {0, 6}, {1, 7}}) {
            ActivateRow(entries, row);
            ASSERT_TRUE(shown(level));
        }
        aloud = ReadListAloud(*entries);
        ASSERT_TRUE(aloud);
        EXPECT_EQ(aloud->columns,
                  (std::vector<std::string>{"Compatible with Holeview", "Select Golf Course"}));
        ASSERT_GE(aloud->rows.size(), 2u);
        EXPECT_EQ(aloud->rows[0][0], "");
        EXPECT_EQ(aloud->rows[1], (std::vector<std::string>{"Compatible with Holeview",
                                                            "Green Hills Golf Course"}));
        EXPECT_EQ(aloud->selectedRows, std::vector<int>{0});
        EXPECT_EQ(aloud->focusedRow, 0);
        read = true;
        dialog->Close();
    };
    ActivateRow(List(), 0);
    Harness().PumpFor(200);
    if (ReadListAloud(*List())) {
        EXPECT_TRUE(read);
    }
}

}  // namespace

}  // namespace teelink
