#pragma once

// What the page tests share: a start-up server, a private emulator bus with
// devices on it, the application under the GUI harness, and recorders for the
// browser and the file dialog.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/DeviceEmulator.h"
#include "gui/TeelinkApp.h"
#include "testsupport/DeviceTestSupport.h"
#include "testsupport/GuiHarness.h"
#include "testsupport/TestHttpServer.h"

class wxDataViewListCtrl;
class wxWindow;

namespace teelink {

// A double-click on `row` of `list`: on GTK the tree view's own activation of
// the row, elsewhere the event the list sends for it.
void ActivateRow(wxDataViewListCtrl* list, int row);

// A key pressed while `focused` has the keyboard: on GTK a key event of the
// display's keyboard, given to the toolkit as the X server's would be (so the
// toolkit's own key bindings see it); elsewhere the dialog's key hook event.
void PressKey(wxWindow* focused, int wxKeyCode, int modifiers = wxMOD_NONE);

class CPageTest : public ::testing::Test {
protected:
    CPageTest();

    // Options wired to the test server, the private bus, the recorders.
    CAppOptions Options();
    CDeviceEmulator& PlugDevice(CEmulatorConfig config);
    CDeviceEmulator& PlugDevice() { return PlugDevice(DefaultEmulatorConfig(bus.Dir())); }
    // Starts the application with `language` chosen in the language dialog.
    void StartApp(int language = LANGUAGE_ENGLISH);
    // Plugs a device, starts the application and waits until the main page
    // shows the device.
    void StartWithDeviceShown(CEmulatorConfig config);

    CGuiHarness& Harness() { return *harness; }
    CTeelinkApp& App() { return harness->App(); }
    std::wstring Label(int id);
    bool Enabled(int id);
    bool Shown(int id);
    // The message boxes' texts, in order.
    std::vector<std::wstring> MessageTexts();
    std::vector<std::string> OpenedUrls();
    // Number of identity commands the device has seen.
    static int IdentityReads(const CDeviceEmulator& device);

    CTestHttpServer server;
    // Where the tool's requests go when not to `server` (empty: to `server`).
    std::string scriptUrl;
    CTempBus bus;
    CTempDir historyDir{"teelink-history"};  // where the program's history goes
    std::vector<std::unique_ptr<CDeviceEmulator>> devices;
    std::unique_ptr<CGuiHarness> harness;
    int pollPeriodMs = 150;
    bool showFavourites = teelink::build::kShowFavourites;
    std::wstring toolVersion = L"1.0.0.3";
    std::mutex urlMutex;
    std::vector<std::string> urls;
};

}  // namespace teelink
