#include "pages/main/TeelinkView.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/LangDlg.h"
#include "app/MessageBoxes.h"
#include "app/TeelinkApp.h"
#include "device/DeviceList.h"
#include "pages/main/StartupChecks.h"
#include "pages/main/ToolUpdate.h"
#include "resources/Images.h"
#include "server/StartupRequests.h"

namespace {

enum ControlKind { GROUP, LABEL, BUTTON, EDIT, COMBO };
enum : int { HIDDEN = 1, DISABLED = 2, MULTILINE = 4 };

struct ControlSpec {
    int id;
    ControlKind kind;
    int x, y, w, h;
    int flags;
    int message;  // text from the message table, -1 for none
};

// The template, in its order (positions in dialog units).
constexpr ControlSpec kControls[] = {
    {1019, GROUP, 7, 45, 180, 60, 0, 23},
    {1020, GROUP, 7, 109, 180, 60, 0, 27},
    {1021, GROUP, 7, 173, 180, 65, 0, 36},
    {1037, GROUP, 7, 243, 179, 45, HIDDEN | DISABLED, 32},
    {1025, LABEL, 13, 57, 170, 8, 0, 24},
    {1017, LABEL, 13, 124, 114, 21, 0, 28},
    {1008, LABEL, 13, 187, 146, 25, 0, 37},
    {1000, BUTTON, 161, 89, 25, 15, DISABLED, 22},
    {1001, BUTTON, 161, 222, 25, 15, DISABLED, 22},
    {1009, LABEL, 203, 11, 40, 20, 0, -1},
    {1011, BUTTON, 198, 234, 45, 25, MULTILINE, 39},
    {1010, BUTTON, 198, 263, 45, 25, 0, 20},
    {1012, BUTTON, 161, 153, 25, 15, DISABLED, 22},
    {1022, LABEL, 16, 154, 94, 8, HIDDEN, 29},
    {1013, EDIT, 113, 152, 40, 14, HIDDEN, -1},
    {1014, LABEL, 166, 119, 18, 8, 0, -1},
    {1015, LABEL, 166, 131, 18, 9, 0, -1},
    {1029, LABEL, 134, 119, 30, 8, 0, 30},
    {1030, LABEL, 134, 132, 30, 8, 0, 31},
    {1031, COMBO, 106, 90, 48, 12, HIDDEN | DISABLED, -1},
    {1036, LABEL, 72, 92, 29, 8, HIDDEN | DISABLED, 26},
    {1039, LABEL, 14, 271, 147, 8, HIDDEN | DISABLED, 34},
    {1040, BUTTON, 160, 273, 25, 15, HIDDEN | DISABLED, 35},
    {1045, BUTTON, 11, 216, 62, 17, 0, 38},
    {1048, LABEL, 77, 220, 48, 8, 0, -1},
    {1038, LABEL, 15, 257, 87, 8, HIDDEN | DISABLED, 33},
    {1055, LABEL, 205, 85, 33, 8, 0, -1},
    {1035, LABEL, 13, 69, 168, 8, HIDDEN | DISABLED, 25},
    // Taller than the template's 33 units: the hint needs five lines in this
    // platform's font, and nothing stands below it.
    {1057, LABEL, 195, 109, 48, 60, 0, 19},
};

const wxColour kPink(255, 192, 192);

// "\r\n" is a Windows line break; the toolkits here want "\n" alone.
wxString Displayed(const std::wstring& text) {
    wxString s(text);
    s.Replace("\r\n", "\n");
    return s;
}

}  // namespace

CTeelinkView::CTeelinkView(wxWindow* parent, int paneId)
    : CPage(parent, paneId, "Main", 250, 295), m_timer(this, POLL_TIMER_ID) {
    CreateControls();
    Bind(wxEVT_TIMER, &CTeelinkView::OnTimer, this, POLL_TIMER_ID);
    Bind(wxEVT_BUTTON, &CTeelinkView::OnCourseDataStart, this, 1000);
    Bind(wxEVT_BUTTON, &CTeelinkView::OnLogStart, this, 1001);
    Bind(
        wxEVT_BUTTON, [](wxCommandEvent&) { wxGetApp().OnExitButton(); }, 1010);
    Bind(wxEVT_BUTTON, &CTeelinkView::OnWebsite, this, 1011);
    Bind(wxEVT_BUTTON, &CTeelinkView::OnSystemDataStart, this, 1012);
    Bind(wxEVT_BUTTON, &CTeelinkView::OnFavorites, this, 1040);
    Bind(wxEVT_BUTTON, &CTeelinkView::OnLogWebPage, this, 1045);
}

CTeelinkView::~CTeelinkView() {
    StopWork();
}

void CTeelinkView::CreateControls() {
    AddHeaderLogo(157, 43);
    const wxRect pic = Du(206, 37, 37, 43);
    m_picture = new wxStaticBitmap(this, 1004, LoadImageBitmap(m_nShownBitmap), pic.GetPosition(),
                                   pic.GetSize(), wxALIGN_CENTRE);
    m_controls[1004] = m_picture;
    for (const ControlSpec& c : kControls) {
        const wxRect r = Du(c.x, c.y, c.w, c.h);
        wxWindow* w = nullptr;
        switch (c.kind) {
            case GROUP:
                w = new wxStaticBox(this, c.id, wxEmptyString, r.GetPosition(), r.GetSize());
                break;
            case LABEL:
                w = new wxStaticText(this, c.id, wxEmptyString, r.GetPosition(), r.GetSize(),
                                     wxST_NO_AUTORESIZE);
                break;
            case BUTTON:
                w = new wxButton(this, c.id, wxEmptyString, r.GetPosition(), r.GetSize(),
                                 (c.flags & MULTILINE) != 0 ? wxBU_EXACTFIT : 0);
                break;
            case EDIT:
                w = new wxTextCtrl(this, c.id, wxEmptyString, r.GetPosition(), r.GetSize(),
                                   wxBORDER_SIMPLE);
                break;
            case COMBO:
                m_areaCombo = new wxChoice(this, c.id, r.GetPosition(), r.GetSize());
                w = m_areaCombo;
                break;
        }
        if ((c.flags & HIDDEN) != 0) {
            w->Hide();
        }
        if ((c.flags & DISABLED) != 0) {
            w->Disable();
        }
        m_controls[c.id] = w;
    }
    SetText(1014, L"-----");
    SetText(1015, L"-----");
    SetText(1048, L"(Japanese only)");
}

wxWindow* CTeelinkView::Control(int id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CTeelinkView::SetText(int id, const std::wstring& text) {
    if (wxWindow* w = Control(id)) {
        w->SetLabel(Displayed(text));
        if (id == 1015) {
            UpdateVersionColour();
        }
    }
}

void CTeelinkView::SetPicture(int bitmapId) {
    if (bitmapId != m_nShownBitmap) {
        m_nShownBitmap = bitmapId;
        m_picture->SetBitmap(LoadImageBitmap(bitmapId));
    }
}

void CTeelinkView::UpdateVersionColour() {
    // The mark compares the document's fields, not the label: before any device
    // the empty version differs from "---" and the dashes stand on pink.
    m_bVersionMarked = Doc().m_strSystemVersion != LatestVersionForModel(Doc());
    wxWindow* label = Control(1015);
    label->SetBackgroundColour(m_bVersionMarked ? kPink : *wxWHITE);
    label->Refresh();
}

void CTeelinkView::RunLanguageDialog() {
    CLangDlg dialog(GetParent());
    dialog.ShowModal();
    App().SetLanguage(dialog.m_nSelLanguage);
}

void CTeelinkView::OnInitialUpdate() {
    // The base update moves the empty member texts into the version labels.
    SetText(1014, L"");
    SetText(1015, L"");
    RunLanguageDialog();

    for (const ControlSpec& c : kControls) {
        if (c.message >= 0) {
            SetText(c.id, App().GetMessageText(c.message));
        }
    }
    if (App().Language() == LANG_JAPANESE) {
        m_nBmpConnected = IMG_CONNECTED_JA;
        m_nBmpNotConnected = IMG_NOT_CONNECTED_JA;
    } else {
        m_nBmpConnected = IMG_CONNECTED_EN;
        m_nBmpNotConnected = IMG_NOT_CONNECTED_EN;
    }
    SetText(1009, L"PC Tool Ver.\r\n" + Doc().m_strToolVersion);

    switch (RunStartupChecks(Doc(), App().Language())) {
        case StartupOutcome::ServerError:
            ShowMessageBox(this, App().GetMessageText(17), "Error", wxOK | wxICON_ERROR);
            App().PostClose();
            return;
        case StartupOutcome::ToolOutdated:
            ShowMessageBox(this, App().GetMessageText(18), "Info", wxOK | wxICON_INFORMATION);
            App().OpenUrl(ToolDownloadUrl());
            App().PostClose();
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
    if (shown && !App().IsClosing()) {
        m_timer.StartOnce(1);  // first tick at once
    } else {
        m_timer.Stop();
    }
}

void CTeelinkView::StopWork() {
    m_timer.Stop();
    m_reader.Join();
}

void CTeelinkView::OnTimer(wxTimerEvent& /*event*/) {
    Tick();
}

void CTeelinkView::Tick() {
    // No tick overlaps another: the timer is re-armed only when this one is done,
    // including the device reads and any message box.
    m_timer.Stop();
    if (App().IsClosing() || !m_bShown) {
        return;
    }
    const int count = EnumerateDevices(*App().m_deviceList);
    const PollAction action = m_poll.Decide(count);
    switch (action) {
        case PollAction::IdentifyDevice:
            m_reader.Start(Doc(),
                           [this](bool ok) { CallAfter([this, ok] { FinishIdentify(ok); }); });
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
            ShowMessageBox(this, App().GetMessageText(10), "Error", wxOK | wxICON_ERROR);
            break;
    }
    Rearm();
}

void CTeelinkView::FinishIdentify(bool ok) {
    m_reader.Join();
    if (App().IsClosing()) {
        return;
    }
    if (!ok) {
        ShowMessageBox(this, App().GetMessageText(9), "Error", wxOK | wxICON_ERROR);
        App().PostClose();
        return;
    }
    EnableStartButtons(true);
    m_poll.Apply(PollAction::IdentifyDevice);
    ShowDevice();
    Rearm();
}

void CTeelinkView::Rearm() {
    if (m_bShown && !App().IsClosing()) {
        m_timer.StartOnce(App().Options().pollPeriodMs);
    }
}

void CTeelinkView::ShowDevice() {
    SetPicture(m_nBmpConnected);
    Control(1057)->Hide();
    SetText(1055, Doc().m_strModel + L" : " + Doc().m_strModelCode);
    SetText(1014, LatestVersionForModel(Doc()));
    SetText(1015, Doc().m_strSystemVersion);
}

void CTeelinkView::ShowNoDevice() {
    SetPicture(m_nBmpNotConnected);
    Control(1057)->Show();
    SetText(1015, L"-----");
}

void CTeelinkView::EnableStartButtons(bool enable) {
    for (int id : {1000, 1012, 1001}) {
        Control(id)->Enable(enable);
    }
}

void CTeelinkView::OnCourseDataStart(wxCommandEvent& /*event*/) {
    Doc().m_nUpdateMode = UPDATE_COURSE_DATA;
    Doc().m_nAreaIndex = m_areaCombo->GetSelection();  // wxNOT_FOUND is -1, "none"
    App().SwitchView(VIEW_UPDATE);
}

void CTeelinkView::OnSystemDataStart(wxCommandEvent& /*event*/) {
    Doc().m_nUpdateMode = UPDATE_SYSTEM_DATA;
    App().SwitchView(VIEW_UPDATE);
}

void CTeelinkView::OnLogStart(wxCommandEvent& /*event*/) {
    App().SwitchView(VIEW_TREVLOG);
}

void CTeelinkView::OnFavorites(wxCommandEvent& /*event*/) {
    App().SwitchView(VIEW_FAVORITE);
}

void CTeelinkView::OnWebsite(wxCommandEvent& /*event*/) {
    App().OpenUrl(WebsiteUrl(App().Language()));
}

void CTeelinkView::OnLogWebPage(wxCommandEvent& /*event*/) {
    App().OpenUrl(TrevLogPageUrl(App().Language()));
}
