// The main page as a screen reader and the keyboard meet it: every control
// named by what it shows and does, Tab in the order the page is read, the
// keyboard on the page that is shown, and text that stays readable under a
// high-contrast theme.
#include <gtest/gtest.h>
#include <wx/stattext.h>
#include <wx/toplevel.h>

#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "pages/log/LogPageIds.h"
#include "pages/main/MainPageIds.h"
#include "pages/main/TeelinkView.h"
#include "pages/update/UpdatePageIds.h"
#include "refserver/AnswerWriter.h"
#include "testsupport/PageTestSupport.h"
#include "ui/Accessible.h"
#include "ui/Layout.h"

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

namespace teelink {

namespace {

class MainPageAccess : public CPageTest {
protected:
    // A control of any page, shown or not.
    wxWindow* Find(int id) {
        for (int page = VIEW_MAIN; page <= VIEW_FAVORITE; ++page) {
            if (wxWindow* control = App().Page(page)->FindWindow(id)) {
                return control;
            }
        }
        return nullptr;
    }
    wxString Name(int id) { return Find(id) == nullptr ? "(none)" : AccessibleName(*Find(id)); }
    wxString Text(int id) {
        return Find(id) == nullptr ? "(none)" : wxControl::RemoveMnemonics(Find(id)->GetLabel());
    }
    bool WaitForDevice() {
        return Harness().PumpUntil([&] {
            return App().PageAs<CTeelinkView>(VIEW_MAIN)->DeviceShown() &&
                   Enabled(IDC_COURSE_START);
        });
    }
    // The page's controls in the order Tab visits them, among `ids`.
    std::vector<int> TabOrder(CPage* page, const std::vector<int>& ids) {
        std::vector<int> order;
        for (const wxWindow* child : page->GetChildren()) {
            if (std::find(ids.begin(), ids.end(), child->GetId()) != ids.end()) {
                order.push_back(child->GetId());
            }
        }
        return order;
    }
};

TEST_F(MainPageAccess, EveryControlIsNamedByWhatItShowsAndWhatItIsFor) {
    PlugDevice();  // R7, hardware A01
    StartApp();
    ASSERT_TRUE(WaitForDevice());
    // Three buttons read "Start": each is told apart by its group.
    for (const auto& [button, group] : {std::pair{IDC_COURSE_START, IDC_COURSE_GROUP},
                                        {IDC_SYSTEM_START, IDC_SYSTEM_GROUP},
                                        {IDC_LOG_START, IDC_LOG_GROUP}}) {
        EXPECT_EQ(Name(button), Text(button) + ", " + Text(group));
        EXPECT_TRUE(Name(button).StartsWith("Start, ")) << Name(button);
    }
    EXPECT_EQ(Name(IDC_LOG_WEB_PAGE), Text(IDC_LOG_WEB_PAGE) + ", " + Text(IDC_LOG_GROUP));
    EXPECT_EQ(Name(IDC_MAIN_EXIT), Text(IDC_MAIN_EXIT));
    // The versions say which they are.
    EXPECT_EQ(Name(IDC_CURRENT_VERSION),
              Text(IDC_CURRENT_VERSION) + ", " + Text(IDC_CURRENT_LABEL));
    // Pictures by their words; the device picture by the device it shows.
    EXPECT_EQ(Name(IDC_DEVICE_PICTURE), "Connected, R7 : A01");
    bool logoNamed = false;
    for (const wxWindow* child : App().Page(VIEW_MAIN)->GetChildren()) {
        logoNamed = logoNamed || AccessibleName(*child) == "Zorvik GOLF GPS";
    }
    EXPECT_TRUE(logoNamed);

    devices.clear();  // unplugged
    ASSERT_TRUE(Harness().PumpUntil([&] { return Name(IDC_DEVICE_PICTURE) == "Not connected"; }));
}

TEST_F(MainPageAccess, TheBarsAreNamedByTheirLabels) {
    StartApp();
    EXPECT_EQ(Name(IDC_DOWNLOAD_BAR), Text(IDC_DOWNLOAD_LABEL));
    EXPECT_EQ(Name(IDC_WRITE_BAR), Text(IDC_WRITE_LABEL));
    EXPECT_FALSE(Name(IDC_DOWNLOAD_BAR).empty());
}

TEST_F(MainPageAccess, TabGoesInTheOrderThePagesAreRead) {
    StartApp();
    EXPECT_EQ(TabOrder(App().Page(VIEW_MAIN),
                       {IDC_COURSE_START, IDC_SYSTEM_START, IDC_LOG_WEB_PAGE, IDC_LOG_START,
                        IDC_FAVORITES_SETTING, IDC_WEBSITE, IDC_MAIN_EXIT}),
              (std::vector<int>{IDC_COURSE_START, IDC_SYSTEM_START, IDC_LOG_WEB_PAGE, IDC_LOG_START,
                                IDC_FAVORITES_SETTING, IDC_WEBSITE, IDC_MAIN_EXIT}));
    EXPECT_EQ(TabOrder(App().Page(VIEW_TREVLOG), {IDC_LOG_CANCEL, IDC_LOG_EXIT}),
              (std::vector<int>{IDC_LOG_CANCEL, IDC_LOG_EXIT}));
    EXPECT_EQ(TabOrder(App().Page(VIEW_UPDATE), {IDC_UPDATE_CANCEL, IDC_UPDATE_EXIT}),
              (std::vector<int>{IDC_UPDATE_CANCEL, IDC_UPDATE_EXIT}));
}

// The keyboard goes with the page: onto Cancel of the page an operation shows,
// and back onto the button that started it when the main page returns.
TEST_F(MainPageAccess, TheKeyboardFollowsThePageShown) {
    server.AnswerWith(StartupWithSystemPackage());
    PlugDevice();
    StartApp();
    ASSERT_TRUE(WaitForDevice());
    App().PageAs<CTeelinkView>(VIEW_MAIN)->FocusTarget()->SetFocus();
    server.HoldAnswersAfter(0);  // the download stays under way
    ASSERT_TRUE(Harness().Press(IDC_SYSTEM_START));
    ASSERT_EQ(App().ActiveView(), App().Page(VIEW_UPDATE));
    EXPECT_EQ(App().Page(VIEW_UPDATE)->FocusTarget(), Harness().Control(IDC_UPDATE_CANCEL));
    ASSERT_TRUE(Harness().PumpUntil(
        [&] { return wxWindow::FindFocus() == Harness().Control(IDC_UPDATE_CANCEL); }));
    App().SwitchView(VIEW_MAIN);
    EXPECT_TRUE(Harness().PumpUntil(
        [&] { return wxWindow::FindFocus() == Harness().Control(IDC_SYSTEM_START); }));
    server.Release();
}

// A box takes the keyboard while it is up. Once it is answered, the keyboard is
// back on the control that had it, or, when that control can no longer act, on
// the page's own place for it. (The test's boxes are answered without being
// shown: what a shown box would do to the keyboard is done while it is "up".)
TEST_F(MainPageAccess, AfterABoxTheKeyboardIsBackWhereItWas) {
    PlugDevice();
    StartApp();
    ASSERT_TRUE(WaitForDevice());
    wxWindow* system = Find(IDC_SYSTEM_START);
    system->SetFocus();
    bool disable = false;
    Harness().Dialogs().onMessage = [&](const CRecordedDialog&) {
        if (disable) {
            system->Disable();
        }
        Find(IDC_MAIN_EXIT)->SetFocus();
        devices.resize(1);  // the second device goes: no further box
    };
    CEmulatorConfig second = DefaultEmulatorConfig(bus.Dir());
    second.label = "second";
    const auto boxAnswered = [&](size_t count) {
        return Harness().PumpUntil(
            [&] { return MessageTexts().size() == count && !App().Boxes().ModalOpen(); });
    };
    PlugDevice(second);  // "Please connect one device at a time."
    ASSERT_TRUE(boxAnswered(1));
    EXPECT_EQ(wxWindow::FindFocus(), system);

    ASSERT_TRUE(WaitForDevice());  // the one left is read again
    system->SetFocus();
    disable = true;
    PlugDevice(second);
    ASSERT_TRUE(boxAnswered(2));
    EXPECT_EQ(wxWindow::FindFocus(), Harness().Control(IDC_COURSE_START));
}

#ifdef __WXGTK__
// Alt and a letter presses a button: every button of the page has a letter of
// its own, and what it shows and what is read stay the message's text. (GTK:
// the key goes through the toolkit's own mnemonic handling.)
TEST_F(MainPageAccess, AltAndItsLetterPressesAButton) {
    server.AnswerWith(StartupWithSystemPackage());
    PlugDevice();
    StartApp();
    ASSERT_TRUE(WaitForDevice());
    std::set<wxUniChar> letters;
    int systemKey = 0;
    for (const int id : {IDC_COURSE_START, IDC_SYSTEM_START, IDC_LOG_WEB_PAGE, IDC_LOG_START,
                         IDC_WEBSITE, IDC_MAIN_EXIT}) {
        const wxString label = Find(id)->GetLabel();
        const int mark = label.Find('&');
        ASSERT_NE(mark, wxNOT_FOUND) << label;
        const wxUniChar letter = wxTolower(label[mark + 1]);
        EXPECT_TRUE(letters.insert(letter).second) << label;
        const wxString shown = OneLine(Text(id));
        EXPECT_TRUE(Name(id).StartsWith(shown + ", ") || Name(id) == shown) << Name(id);
        systemKey = id == IDC_SYSTEM_START ? static_cast<int>(letter.GetValue()) : systemKey;
    }
    EXPECT_EQ(Text(IDC_SYSTEM_START), "Start");
    server.HoldAnswersAfter(0);  // the download stays under way
    PressKey(Find(IDC_MAIN_EXIT), systemKey, wxMOD_ALT);
    ASSERT_TRUE(Harness().PumpUntil([&] { return App().ActiveView() == App().Page(VIEW_UPDATE); }));
    EXPECT_EQ(App().Doc().m_nUpdateMode, UPDATE_SYSTEM_DATA);  // the second Start, not the first
    server.Release();
}
#endif

// The letters go to the buttons in turn, whatever their case; an "&" of the
// text itself stays a shown "&", never a key.
TEST(AccessKeys, EachButtonTakesTheFirstLetterNoEarlierButtonTook) {
    std::set<wxUniChar> taken;
    EXPECT_EQ(WithAccessKey("Start", taken), "&Start");
    EXPECT_EQ(WithAccessKey("start", taken), "s&tart");
    EXPECT_EQ(WithAccessKey("Q&A 2", taken), "&Q&&A 2");
    EXPECT_EQ(WithAccessKey("&& a", taken), "&&&& &a");
    EXPECT_EQ(WithAccessKey("STAR", taken), "STA&R");
    EXPECT_EQ(WithAccessKey("Tsar", taken), "Tsar");  // every letter taken
    EXPECT_EQ(WithAccessKey(wxString::FromUTF8("開始 R7"), taken), wxString::FromUTF8("開始 R7"));
    EXPECT_EQ(wxControl::RemoveMnemonics(WithAccessKey("Q&A", taken)), "Q&A");
}

// A text without a Latin letter gets no access key rather than one no
// keyboard layout of its language types.
TEST_F(MainPageAccess, JapaneseButtonsShowTheirTextsWithoutAnAccessKey) {
    StartApp(LANGUAGE_JAPANESE);
    for (const int id : {IDC_COURSE_START, IDC_MAIN_EXIT}) {
        EXPECT_EQ(Find(id)->GetLabel().Find('&'), wxNOT_FOUND) << Find(id)->GetLabel();
    }
    EXPECT_EQ(Find(IDC_WEBSITE)->GetLabel().Find('&'), 0);  // the site's Latin name has one
}

#ifdef __WXGTK__
void RecordAnnouncement(AtkObject* /*object*/, const gchar* text, gpointer said) {
    static_cast<std::vector<std::string>*>(said)->emplace_back(text);
}

// A device recognised or unplugged is said at once, wherever the keyboard is;
// the state the page starts with, and a device polled again unchanged, are not.
TEST_F(MainPageAccess, ARecognisedOrUnpluggedDeviceIsAnnounced) {
    StartApp();
    ASSERT_TRUE(Harness().PumpUntil([&] { return Name(IDC_DEVICE_PICTURE) == "Not connected"; }));
    AtkObject* picture = gtk_widget_get_accessible(AccessibleWidget(*Find(IDC_DEVICE_PICTURE)));
    std::vector<std::string> said;
    const gulong handler =
        g_signal_connect(picture, "announcement", G_CALLBACK(RecordAnnouncement), &said);
    PlugDevice();
    ASSERT_TRUE(WaitForDevice());
    Harness().PumpFor(3 * pollPeriodMs);  // polled again, unchanged
    devices.clear();
    ASSERT_TRUE(Harness().PumpUntil([&] { return Name(IDC_DEVICE_PICTURE) == "Not connected"; }));
    g_signal_handler_disconnect(picture, handler);
    EXPECT_EQ(said, (std::vector<std::string>{"Connected, R7 : A01", "Not connected"}));
}

double Luminance(const wxColour& c) {
    const auto channel = [](unsigned char v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.Red()) + 0.7152 * channel(c.Green()) + 0.0722 * channel(c.Blue());
}

double Contrast(const wxColour& a, const wxColour& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Under an inverse high-contrast theme (light text), the page's white stays
// and so must dark text on it.
TEST_F(MainPageAccess, TextStaysReadableUnderAnInverseHighContrastTheme) {
    g_object_set(gtk_settings_get_default(), "gtk-theme-name", "HighContrastInverse", nullptr);
    StartApp();
    CPage* page = App().Page(VIEW_MAIN);
    int labels = 0;
    for (const wxWindow* child : page->GetChildren()) {
        if (dynamic_cast<const wxStaticText*>(child) == nullptr || !child->IsShown()) {
            continue;
        }
        const wxColour background =
            child->UseBgCol() ? child->GetBackgroundColour() : page->GetBackgroundColour();
        EXPECT_GE(Contrast(child->GetForegroundColour(), background), 7.0) << child->GetId();
        ++labels;
    }
    EXPECT_GT(labels, 5);
    g_object_set(gtk_settings_get_default(), "gtk-theme-name", "Adwaita", nullptr);
}
// The darkest and the lightest luminance among the pixels of `r` in `shot`.
std::pair<double, double> LuminanceRange(GdkPixbuf* shot, const wxRect& r) {
    const int channels = gdk_pixbuf_get_n_channels(shot);
    const int stride = gdk_pixbuf_get_rowstride(shot);
    const guchar* pixels = gdk_pixbuf_get_pixels(shot);
    std::pair range{1.0, 0.0};
    for (int y = r.y; y < r.GetBottom(); ++y) {
        for (int x = r.x; x < r.GetRight(); ++x) {
            const guchar* p = pixels + static_cast<ptrdiff_t>(y) * stride + x * channels;
            const double l = Luminance(wxColour(p[0], p[1], p[2]));
            range = {std::min(range.first, l), std::max(range.second, l)};
        }
    }
    return range;
}

// What the screen shows under the inverse theme: every label's text stands out
// from what is behind it by at least 4.5:1, read from the pixels of its place,
// while the theme's own dark buttons show that the theme was in force.
TEST_F(MainPageAccess, LabelsStandOutOnTheScreenUnderAnInverseHighContrastTheme) {
    g_object_set(gtk_settings_get_default(), "gtk-theme-name", "HighContrastInverse", nullptr);
    PlugDevice();
    StartApp();
    ASSERT_TRUE(WaitForDevice());
    CPage* page = App().Page(VIEW_MAIN);
    wxGetTopLevelParent(page)->Raise();
    page->Refresh();
    page->Update();
    Harness().PumpFor(300);
    const wxRect area = page->GetScreenRect();
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), area.x, area.y,
                                                 area.width, area.height);
    ASSERT_NE(shot, nullptr);
    const auto within = [&](const wxWindow& w) {
        return wxRect(w.GetScreenRect().GetPosition() - area.GetPosition(), w.GetSize())
            .Intersect(wxRect(area.GetSize()));
    };
    int labels = 0;
    for (const wxWindow* child : page->GetChildren()) {
        const auto* label = dynamic_cast<const wxStaticText*>(child);
        if (label == nullptr || !label->IsShown() || label->GetLabelText().IsEmpty()) {
            continue;
        }
        const auto [dark, light] = LuminanceRange(shot, within(*label));
        EXPECT_GE((light + 0.05) / (dark + 0.05), 4.5) << label->GetLabelText();
        ++labels;
    }
    EXPECT_GT(labels, 8);
    const auto [dark, light] = LuminanceRange(shot, within(*Find(IDC_MAIN_EXIT)));
    EXPECT_LT(dark, 0.05) << "the inverse theme's dark buttons";
    g_object_unref(shot);
    g_object_set(gtk_settings_get_default(), "gtk-theme-name", "Adwaita", nullptr);
}
#endif

}  // namespace

}  // namespace teelink
