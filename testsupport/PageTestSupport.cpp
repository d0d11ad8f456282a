#include "testsupport/PageTestSupport.h"

#include <wx/listctrl.h>
#include <wx/window.h>

#include "device/Protocol.h"
#include "pages/main/TeelinkView.h"

namespace teelink {

void ActivateRow(wxListCtrl* list, long row) {
    wxListEvent event(wxEVT_LIST_ITEM_ACTIVATED, list->GetId());
    event.m_itemIndex = row;
    event.SetEventObject(list);
    list->GetEventHandler()->ProcessEvent(event);
}

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
    return w == nullptr ? L"<missing>" : w->GetLabel().ToStdWstring();
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
