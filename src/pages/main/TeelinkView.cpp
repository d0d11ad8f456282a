#include "pages/main/TeelinkView.h"

#include <iostream>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "BuildConfig.h"
#include "core/AppOptions.h"
#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceList.h"
#include "identity/DevicePolling.h"
#include "pages/main/MainPageIds.h"
#include "resources/Images.h"
#include "startup/StartupChecks.h"
#include "startup/StartupRequests.h"
#include "startup/ToolUpdate.h"
#include "ui/Accessible.h"
#include "ui/Layout.h"
#include "ui/MessageBoxes.h"
#include "ui/TextFit.h"

namespace teelink {

namespace {

using K = ControlKind;

// The template, in its order (positions in dialog units).
constexpr CControlSpec kControls[] = {
    {IDC_COURSE_GROUP, K::Group, 7, 45, 180, 60, 0, MSG_COURSE_UPDATE_TITLE},
    {IDC_SYSTEM_GROUP, K::Group, 7, 109, 180, 60, 0, MSG_SYSTEM_UPDATE_TITLE},
    {IDC_LOG_GROUP, K::Group, 7, 173, 180, 65, 0, MSG_LOG_TITLE},
    {IDC_FAVORITES_GROUP, K::Group, 7, 243, 179, 45, FAVORITE_ENTRY, MSG_FAVORITES_TITLE},
    {IDC_COURSE_TEXT, K::Label, 13, 57, 170, 8, 0, MSG_COURSE_UPDATE_TEXT},
    {IDC_SYSTEM_TEXT, K::Label, 13, 124, 114, 21, 0, MSG_SYSTEM_UPDATE_TEXT},
    {IDC_LOG_TEXT, K::Label, 13, 187, 146, 25, 0, MSG_LOG_TEXT},
    {IDC_COURSE_START, K::Button, 161, 89, 25, 15, DISABLED, MSG_START, nullptr, -1,
     IDC_COURSE_GROUP},
    {IDC_LOG_START, K::Button, 161, 222, 25, 15, DISABLED, MSG_START, nullptr, -1, IDC_LOG_GROUP},
    {IDC_TOOL_VERSION, K::Label, 203, 11, 40, 20},
    {IDC_DEVICE_PICTURE, K::Picture, 206, 37, 37, 43, 0, -1, nullptr, IMG_NOT_CONNECTED_JA},
    {IDC_WEBSITE, K::Button, 198, 234, 45, 25, MULTILINE, MSG_WEBSITE},
    {IDC_MAIN_EXIT, K::Button, 198, 263, 45, 25, 0, MSG_EXIT},
    {IDC_SYSTEM_START, K::Button, 161, 153, 25, 15, DISABLED, MSG_START, nullptr, -1,
     IDC_SYSTEM_GROUP},
    {IDC_SERVICE_CODE_LABEL, K::Label, 16, 154, 94, 8, HIDDEN, MSG_SERVICE_CODE},
    {IDC_SERVICE_CODE, K::Edit, 113, 152, 40, 14, HIDDEN, -1, nullptr, -1, IDC_SERVICE_CODE_LABEL},
    {IDC_LATEST_VERSION, K::Label, 166, 119, 18, 8, 0, -1, "-----", -1, IDC_LATEST_LABEL},
    {IDC_CURRENT_VERSION, K::Label, 166, 131, 18, 9, 0, -1, "-----", -1, IDC_CURRENT_LABEL},
    {IDC_LATEST_LABEL, K::Label, 134, 119, 30, 8, 0, MSG_LATEST},
    {IDC_CURRENT_LABEL, K::Label, 134, 132, 30, 8, 0, MSG_CURRENT},
    {IDC_AREA_COMBO, K::Choice, 106, 90, 48, 12, HIDDEN | DISABLED, -1, nullptr, -1,
     IDC_AREA_LABEL},
    {IDC_AREA_LABEL, K::Label, 72, 92, 29, 8, HIDDEN | DISABLED, MSG_AVAILABLE_REGION},
    {IDC_FAVORITES_LIMIT, K::Label, 14, 271, 147, 8, FAVORITE_ENTRY, MSG_FAVORITES_LIMIT},
    {IDC_FAVORITES_SETTING, K::Button, 160, 273, 25, 15, FAVORITE_ENTRY, MSG_SETTING, nullptr, -1,
     IDC_FAVORITES_GROUP},
    {IDC_LOG_WEB_PAGE, K::Button, 11, 216, 62, 17, 0, MSG_LOG_PAGE, nullptr, -1, IDC_LOG_GROUP},
    {IDC_JAPANESE_ONLY, K::Label, 77, 220, 48, 8, 0, -1, "(Japanese only)"},
    {IDC_FAVORITES_SELECT, K::Label, 15, 257, 87, 8, FAVORITE_ENTRY, MSG_FAVORITES_SELECT},
    {IDC_MODEL, K::Label, 205, 85, 33, 8},
    {IDC_AREA_HINT, K::Label, 13, 69, 168, 8, HIDDEN | DISABLED, MSG_AREA_HINT},
    // Taller than the template's 33 units: the hint needs five lines in this
    // platform's font, and nothing stands below it.
    {IDC_POWER_HINT, K::Label, 195, 109, 48, 60, 0, MSG_KESTRUM_POWER_HINT},
};

const wxColour kPink(255, 192, 192);

}  // namespace

CTeelinkView::CTeelinkView(wxWindow* parent, IPageHost& host, int paneId)
    : CPage(parent, host, paneId, "Main", 250, 295),
      m_timer(this, POLL_TIMER_ID),
      m_thread(*this, host.Boxes()),
      m_reader(m_thread, host.Notifier()) {
    CreateControls();
    Bind(wxEVT_TIMER, &CTeelinkView::OnTimer, this, POLL_TIMER_ID);
    Bind(wxEVT_BUTTON, &CTeelinkView::OnCourseDataStart, this, IDC_COURSE_START);
    Bind(wxEVT_BUTTON, &CTeelinkView::OnLogStart, this, IDC_LOG_START);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Host().PostClose(); }, IDC_MAIN_EXIT);
    Bind(wxEVT_BUTTON, &CTeelinkView::OnWebsite, this, IDC_WEBSITE);
    Bind(wxEVT_BUTTON, &CTeelinkView::OnSystemDataStart, this, IDC_SYSTEM_START);
    Bind(wxEVT_BUTTON, &CTeelinkView::OnFavorites, this, IDC_FAVORITES_SETTING);
    Bind(wxEVT_BUTTON, &CTeelinkView::OnLogWebPage, this, IDC_LOG_WEB_PAGE);
}

CTeelinkView::~CTeelinkView() {
    StopWork();
}

void CTeelinkView::CreateControls() {
    AddHeaderLogo(157, 43);
    m_controls = teelink::CreateControls(
        *this, kControls, [this](int x, int y, int w, int h) { return Du(x, y, w, h); },
        Host().Options().showFavourites);
    m_picture = m_controls.As<wxStaticBitmap>(IDC_DEVICE_PICTURE);
    m_areaCombo = m_controls.As<wxChoice>(IDC_AREA_COMBO);
    // Tab goes as the page is read: the groups from the top, then the right column.
    SetTabOrder(m_controls, {IDC_AREA_COMBO, IDC_COURSE_START, IDC_SERVICE_CODE, IDC_SYSTEM_START,
                             IDC_LOG_WEB_PAGE, IDC_LOG_START, IDC_FAVORITES_SETTING, IDC_WEBSITE,
                             IDC_MAIN_EXIT});
}

wxWindow* CTeelinkView::FocusTarget() const {
    // Back from an operation, the button that started it; else the first Start
    // that can act, else the first control of the right column.
    std::vector<int> candidates = {IDC_COURSE_START, IDC_SYSTEM_START, IDC_LOG_START, IDC_WEBSITE};
    if (m_nStartedBy != 0) {
        candidates.insert(candidates.begin(), m_nStartedBy);
    }
    for (const int id : candidates) {
        wxWindow* control = Control(id);
        if (control != nullptr && control->IsShown() && control->IsEnabled()) {
            return control;
        }
    }
    return nullptr;
}

wxWindow* CTeelinkView::Control(int id) const {
    return m_controls.Get(id);
}

void CTeelinkView::SetText(int id, const std::wstring& text) {
    if (wxWindow* w = Control(id)) {
        SetFittedLabel(*w, Displayed(text));
        ApplyAccessibleNames(m_controls, kControls);  // names follow the texts
        SetAccessibleName(*m_picture, m_strPictureName);
        if (id == IDC_CURRENT_VERSION) {
            UpdateVersionColour();
        }
    }
}

void CTeelinkView::SetPicture(int bitmapId, const std::wstring& detail) {
    if (bitmapId != m_nShownBitmap) {
        m_nShownBitmap = bitmapId;
        m_picture->SetBitmap(ImageBundle(bitmapId));
    }
    // The picture's words, and which device: what a screen reader says of it.
    wxString name = ImageText(bitmapId);
    if (!detail.empty()) {
        name += ", " + Displayed(detail);
    }
    // A device recognised or gone is said at once; the first state shown is
    // the page's start, not news.
    const bool changed = !m_strPictureName.empty() && name != m_strPictureName;
    m_strPictureName = name;
    SetAccessibleName(*m_picture, name);
    if (changed) {
        Announce(*m_picture, name);
    }
}

void CTeelinkView::UpdateVersionColour() {
    // The mark compares the document's fields, not the label: before any device
    // the empty version differs from "---" and the dashes stand on pink.
    const bool marked = Doc().m_strSystemVersion != LatestVersionForModel(Doc());
    wxWindow* label = Control(IDC_CURRENT_VERSION);
    label->SetBackgroundColour(marked ? kPink : *wxWHITE);
    label->Refresh();
}

void CTeelinkView::OnInitialUpdate() {
    // The base update moves the empty member texts into the version labels.
    SetText(IDC_LATEST_VERSION, L"");
    SetText(IDC_CURRENT_VERSION, L"");
    Host().ChooseLanguage();  // the choice counts whatever ended the dialog

    ApplyTexts(m_controls, kControls, [this](MessageId id) { return Text(id); });
    if (Host().Language() == LANGUAGE_JAPANESE) {
        m_nBmpConnected = IMG_CONNECTED_JA;
        m_nBmpNotConnected = IMG_NOT_CONNECTED_JA;
    } else {
        m_nBmpConnected = IMG_CONNECTED_EN;
        m_nBmpNotConnected = IMG_NOT_CONNECTED_EN;
    }
    SetText(IDC_TOOL_VERSION, L"PC Tool Ver.\r\n" + Doc().m_strToolVersion);

    switch (RunStartupChecks(Doc(), Host().Language()).outcome) {
        case StartupOutcome::ServerError:
            ShowBox(Text(MSG_SERVER_CONNECTION_ERROR), "Error", wxOK | wxICON_ERROR);
            Host().PostClose();
            return;
        case StartupOutcome::ToolOutdated:
            ShowBox(Text(MSG_NEW_TOOL_VERSION), "Info", wxOK | wxICON_INFORMATION);
            Host().OpenUrl(ToolDownloadUrl());
            Host().PostClose();
            return;
        case StartupOutcome::Ready:
            break;
    }
    m_areaCombo->Clear();
    for (const CAreaList& area : Doc().m_areaList) {
        m_areaCombo->Append(wxString(area.name));
    }
    if (!Doc().m_areaList.empty()) {
        m_areaCombo->SetSelection(0);
    }
    UpdateVersionColour();
}

void CTeelinkView::OnShowPage(bool shown) {
    m_bShown = shown;
    // While the identity job runs, its end re-arms the timer: a tick now could
    // rewrite the device list the job is reading.
    if (shown && !Host().IsClosing() && !m_reader.Running()) {
        m_timer.StartOnce(1);  // first tick at once
    } else {
        m_timer.Stop();
    }
}

void CTeelinkView::StopWork() {
    m_timer.Stop();
    m_reader.StopAndWait();
}

void CTeelinkView::OnTimer(wxTimerEvent& /*event*/) {
    Tick();
}

void CTeelinkView::Tick() {
    // No tick overlaps another: the timer is re-armed only when this one is done,
    // including the device reads and any message box.
    m_timer.Stop();
    if (Host().IsClosing() || !m_bShown || m_reader.Running()) {
        return;
    }
    CDeviceList& devices = Host().Devices();
    const int count = devices.Enumerate();
    for (const std::string& line : m_unusableLog.Changes(devices.Unusable())) {
        std::cerr << "teelink: " << line << '\n';
    }
    const std::string path = count == 1 ? devices.Found().front().Path() : std::string();
    const PollAction action = m_poll.Decide(count, path, Doc().m_strDevicePath);
    switch (action) {
        case PollAction::IdentifyDevice:
            StartIdentify(devices.Found().front());
            return;  // the tick goes on in FinishIdentify
        case PollAction::RefreshDevice:
            m_poll.Apply(action);
            ShowDevice();
            break;
        case PollAction::ShowNoDevice:
            if (m_poll.m_bDeviceShown) {
                EnableStartButtons(false);
            }
            m_poll.Apply(action);
            ShowNoDevice();
            break;
        case PollAction::TooManyDevices:
            m_poll.Apply(action);
            ShowBox(Text(MSG_ONE_DEVICE_AT_A_TIME), "Error", wxOK | wxICON_ERROR);
            break;
    }
    Rearm();
}

void CTeelinkView::StartIdentify(const CDevice& device) {
    // Until the new device is read, the Start buttons lead nowhere: they would
    // act on the device that was shown before. The favourites page would also
    // read the document's device path while the job writes it.
    EnableStartButtons(false);
    EnableFavouritesEntry(false);
    m_reader.Start(CJobPlace{device, Doc().m_serverSettings}, IdentifyJob,
                   [this](Result<CIdentified>& identified) {
                       ApplyIdentified(Doc(), identified);
                       FinishIdentify(identified.Ok());
                   });
}

void CTeelinkView::FinishIdentify(bool ok) {
    if (Host().IsClosing()) {
        return;
    }
    if (!ok) {
        ShowBox(Text(MSG_DEVICE_COMMUNICATION_FAILED), "Error", wxOK | wxICON_ERROR);
        Host().PostClose();
        return;
    }
    EnableStartButtons(true);
    EnableFavouritesEntry(true);
    m_poll.Apply(PollAction::IdentifyDevice);
    ShowDevice();
    Rearm();
}

void CTeelinkView::Rearm() {
    if (m_bShown && !Host().IsClosing()) {
        m_timer.StartOnce(Host().Options().pollPeriodMs);
    }
}

void CTeelinkView::ShowDevice() {
    const std::wstring model = Doc().m_strModel + L" : " + Doc().m_strModelCode;
    SetPicture(m_nBmpConnected, model);
    Control(IDC_POWER_HINT)->Hide();
    SetText(IDC_MODEL, model);
    SetText(IDC_LATEST_VERSION, LatestVersionForModel(Doc()));
    SetText(IDC_CURRENT_VERSION, Doc().m_strSystemVersion);
}

void CTeelinkView::ShowNoDevice() {
    SetPicture(m_nBmpNotConnected);
    Control(IDC_POWER_HINT)->Show();
    SetText(IDC_CURRENT_VERSION, L"-----");
}

void CTeelinkView::EnableStartButtons(bool enable) {
    for (int id : {IDC_COURSE_START, IDC_SYSTEM_START, IDC_LOG_START}) {
        Control(id)->Enable(enable);
    }
}

// The entry exists in every build but is shown and usable only in the builds
// that offer favourites.
void CTeelinkView::EnableFavouritesEntry(bool enable) {
    Control(IDC_FAVORITES_SETTING)->Enable(enable && Host().Options().showFavourites);
}

void CTeelinkView::OnCourseDataStart(wxCommandEvent& /*event*/) {
    m_nStartedBy = IDC_COURSE_START;
    Doc().m_nUpdateMode = UPDATE_COURSE_DATA;
    Doc().m_nAreaIndex = m_areaCombo->GetSelection();  // wxNOT_FOUND is -1, "none"
    Host().SwitchView(VIEW_UPDATE);
}

void CTeelinkView::OnSystemDataStart(wxCommandEvent& /*event*/) {
    m_nStartedBy = IDC_SYSTEM_START;
    Doc().m_nUpdateMode = UPDATE_SYSTEM_DATA;
    Host().SwitchView(VIEW_UPDATE);
}

void CTeelinkView::OnLogStart(wxCommandEvent& /*event*/) {
    m_nStartedBy = IDC_LOG_START;
    Host().SwitchView(VIEW_TREVLOG);
}

void CTeelinkView::OnFavorites(wxCommandEvent& /*event*/) {
    m_nStartedBy = IDC_FAVORITES_SETTING;
    Host().SwitchView(VIEW_FAVORITE);
}

void CTeelinkView::OnWebsite(wxCommandEvent& /*event*/) {
    Host().OpenUrl(WebsiteUrl(Host().Language()));
}

void CTeelinkView::OnLogWebPage(wxCommandEvent& /*event*/) {
    Host().OpenUrl(TrevLogPageUrl(Host().Language()));
}

}  // namespace teelink
