#include "testsupport/PageTestSupport.h"

#include <wx/control.h>
#include <wx/dataview.h>
#include <wx/toplevel.h>
#include <wx/window.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include "device/Protocol.h"
#include "pages/main/TeelinkView.h"

namespace teelink {

#ifdef __WXGTK__

void ActivateRow(wxDataViewListCtrl* list, int row) {
    auto* tree = GTK_TREE_VIEW(list->GtkGetTreeView());
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_view_row_activated(tree, path, gtk_tree_view_get_column(tree, 0));
    gtk_tree_path_free(path);
}

namespace {

guint KeyValOf(int wxKeyCode) {
    switch (wxKeyCode) {
        case WXK_RETURN:
            return GDK_KEY_Return;
        case WXK_NUMPAD_ENTER:
            return GDK_KEY_KP_Enter;
        case WXK_ESCAPE:
            return GDK_KEY_Escape;
        case WXK_SPACE:
            return GDK_KEY_space;
        case WXK_DOWN:
            return GDK_KEY_Down;
        case WXK_UP:
            return GDK_KEY_Up;
        default:
            return gdk_unicode_to_keyval(static_cast<guint32>(wxKeyCode));
    }
}

guint StateOf(int modifiers) {
    return ((modifiers & wxMOD_ALT) != 0 ? GDK_MOD1_MASK : 0) |
           ((modifiers & wxMOD_CONTROL) != 0 ? GDK_CONTROL_MASK : 0) |
           ((modifiers & wxMOD_SHIFT) != 0 ? GDK_SHIFT_MASK : 0);
}

}  // namespace

void PressKey(wxWindow* focused, int wxKeyCode, int modifiers) {
    GtkWidget* top = wxGetTopLevelParent(focused)->GetHandle();
    GdkDisplay* display = gtk_widget_get_display(top);
    const guint keyval = KeyValOf(wxKeyCode);
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &count);
    for (const GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(top)));
        event->key.send_event = TRUE;
        event->key.time = GDK_CURRENT_TIME;
        event->key.keyval = keyval;
        event->key.state = StateOf(modifiers);
        event->key.hardware_keycode = count > 0 ? static_cast<guint16>(keys[0].keycode) : 0;
        gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
        gtk_main_do_event(event);
        gdk_event_free(event);
    }
    g_free(keys);
}

#else

void ActivateRow(wxDataViewListCtrl* list, int row) {
    wxDataViewEvent event(wxEVT_DATAVIEW_ITEM_ACTIVATED, list, list->RowToItem(row));
    list->ProcessWindowEvent(event);
}

void PressKey(wxWindow* focused, int wxKeyCode, int modifiers) {
    wxWindow* top = wxGetTopLevelParent(focused);
    wxKeyEvent key(wxEVT_CHAR_HOOK);
    key.m_keyCode = wxKeyCode;
    key.SetAltDown((modifiers & wxMOD_ALT) != 0);
    key.SetControlDown((modifiers & wxMOD_CONTROL) != 0);
    key.SetShiftDown((modifiers & wxMOD_SHIFT) != 0);
    key.SetEventObject(top);
    top->GetEventHandler()->ProcessEvent(key);
}

#endif

CPageTest::CPageTest() {
    server.AnswerWith(StartupResponder());
}

CAppOptions CPageTest::Options() {
    CAppOptions options;
    options.scriptUrl = scriptUrl.empty() ? server.ScriptUrl() : scriptUrl;
    options.devices = DevicesUnderTest(bus.Dir(), 2000);
    options.toolVersion = toolVersion;
    options.pollPeriodMs = pollPeriodMs;
    options.showFavourites = showFavourites;
    options.historyFile = historyDir.Path() / "history.log";
    options.openUrl = [this](const std::string& url) {
        std::lock_guard lock(urlMutex);
        urls.push_back(url);
    };
    return options;
}

CDeviceEmulator& CPageTest::PlugDevice(CEmulatorConfig config) {
    config.busDir = bus.Dir();
    if (config.label == "zorvik") {
        config.label = "dev" + std::to_string(devices.size());
    }
    devices.push_back(std::make_unique<CDeviceEmulator>(std::move(config)));
    EXPECT_TRUE(devices.back()->Start()) << devices.back()->LastError();
    return *devices.back();
}

void CPageTest::StartApp(int language) {
    harness = std::make_unique<CGuiHarness>(Options());
    harness->Dialogs().languageChoice = language;
    ASSERT_TRUE(harness->Start());
}

void CPageTest::StartWithDeviceShown(CEmulatorConfig config) {
    PlugDevice(std::move(config));
    StartApp();
    ASSERT_TRUE(
        harness->PumpUntil([&] { return App().PageAs<CTeelinkView>(VIEW_MAIN)->DeviceShown(); }));
}

std::wstring CPageTest::Label(int id) {
    wxWindow* w = harness->Control(id);
    // The text shown, without the "&" of an access key.
    return w == nullptr ? L"<missing>" : wxControl::RemoveMnemonics(w->GetLabel()).ToStdWstring();
}

bool CPageTest::Enabled(int id) {
    wxWindow* w = harness->Control(id);
    return w != nullptr && w->IsEnabled();
}

bool CPageTest::Shown(int id) {
    wxWindow* w = harness->Control(id);
    return w != nullptr && w->IsShown();
}

std::vector<std::wstring> CPageTest::MessageTexts() {
    std::vector<std::wstring> texts;
    for (const CRecordedDialog& d : harness->Dialogs().Messages()) {
        texts.push_back(d.message.ToStdWstring());
    }
    return texts;
}

std::vector<std::string> CPageTest::OpenedUrls() {
    std::lock_guard lock(urlMutex);
    return urls;
}

int CPageTest::IdentityReads(const CDeviceEmulator& device) {
    int reads = 0;
    for (const CCommandRecord& r : device.CommandLog()) {
        if (r.word == 0x55AA5606) {
            ++reads;
        }
    }
    return reads;
}

}  // namespace teelink
