#include "pages/log/TrevLogView.h"

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/gauge.h>
#include <wx/stattext.h>

#include "app/MessageBoxes.h"
#include "app/TeelinkApp.h"

namespace {

constexpr int IDC_EXIT = 1001;
constexpr int IDC_PROGRESS = 1005;
constexpr int IDC_CANCEL = 1006;
constexpr int IDC_STATUS = 1008;

// The message table holds filters as "text|pattern|text|pattern||"; the
// toolkit's file dialog wants them without the closing bars.
wxString FilterForDialog(const std::wstring& filters) {
    wxString out(filters);
    while (out.EndsWith("|")) {
        out.RemoveLast();
    }
    return out;
}

}  // namespace

CTrevLogView::CTrevLogView(wxWindow* parent, int paneId)
    : CPage(parent, paneId, "TrevLog", 250, 300) {
    AddHeaderLogo(157, 38);
    wxRect r = Du(198, 268, 45, 25);
    new wxButton(this, IDC_EXIT, wxEmptyString, r.GetPosition(), r.GetSize());
    r = Du(16, 115, 150, 14);
    m_progress = new wxGauge(this, IDC_PROGRESS, 1000, r.GetPosition(), r.GetSize());
    r = Du(198, 234, 45, 25);
    new wxButton(this, IDC_CANCEL, wxEmptyString, r.GetPosition(), r.GetSize());
    r = Du(15, 45, 185, 43);
    m_status = new wxStaticText(this, IDC_STATUS, wxEmptyString, r.GetPosition(), r.GetSize(),
                                wxST_NO_AUTORESIZE);
    Bind(
        wxEVT_BUTTON, [](wxCommandEvent&) { wxGetApp().OnExitButton(); }, IDC_EXIT);
    Bind(wxEVT_BUTTON, &CTrevLogView::OnCancel, this, IDC_CANCEL);
}

CTrevLogView::~CTrevLogView() {
    StopWork();
}

void CTrevLogView::OnInitialUpdate() {
    m_progress->SetRange(1000);
    m_progress->SetValue(0);
    FindWindow(IDC_CANCEL)->SetLabel(App().GetMessageText(21));
    FindWindow(IDC_EXIT)->SetLabel(App().GetMessageText(20));
}

int CTrevLogView::Position() const {
    return m_progress->GetValue();
}

void CTrevLogView::OnShowPage(bool shown) {
    if (shown) {
        StartRead();
    }
}

void CTrevLogView::StartRead() {
    // A read whose worker has not ended goes on; joining it here could wait for
    // a box that this very thread would have to show.
    if (!m_workerDone.load()) {
        return;
    }
    JoinWorker();
    m_job.m_bCancel = false;
    m_progress->SetValue(0);
    wxString status(App().GetMessageText(55));
    status.Replace("\r\n", "\n");
    m_status->SetLabel(status);
    m_workerDone = false;
    const CDeviceList& devices = *App().m_deviceList;
    m_worker = std::thread([this, &devices] {
        LogReadWorker(m_job, m_report, App().Notifier(), devices);
        m_workerDone = true;
    });
}

void CTrevLogView::JoinWorker() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_workerDone = true;
}

void CTrevLogView::StopWork() {
    m_job.m_bCancel = true;
    JoinWorker();
}

void CTrevLogView::OnCancel(wxCommandEvent& /*event*/) {
    m_job.m_bCancel = true;
    // After an open or device error no worker is left to see the request: Cancel
    // then leads back to the main page instead of leaving the page stalled.
    if (m_workerDone.load() && !App().IsClosing()) {
        JoinWorker();
        App().SwitchView(VIEW_MAIN);
    }
}

void CTrevLogView::OnWorkerMessage(LogMessage message) {
    if (App().IsClosing()) {
        return;
    }
    JoinWorker();  // the worker posts as its last step
    if (message == WM_LOG_READ_CANCELLED) {
        ShowMessageBox(this, App().GetMessageText(6), "Teelink", wxOK | wxICON_INFORMATION);
        App().SwitchView(VIEW_MAIN);
        return;
    }
    Save();
}

bool CTrevLogView::ChooseFile(std::wstring& path) {
    const std::wstring proposed = ProposedLogNameToday();
    const std::wstring filters = App().GetMessageText(54);
    if (App().Options().chooseSaveFile) {
        return App().Options().chooseSaveFile(proposed, filters, path);
    }
    wxFileDialog dialog(this, wxEmptyString, wxEmptyString, proposed, FilterForDialog(filters),
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) {
        return false;
    }
    wxFileName name(dialog.GetPath());
    // The toolkits here add no extension of their own: a name typed without one
    // gets the log file's.
    if (!name.HasExt()) {
        name.SetExt("trv");
    }
    path = name.GetFullPath().ToStdWstring();
    return true;
}

void CTrevLogView::Save() {
    std::wstring path;
    if (!ChooseFile(path)) {
        ShowMessageBox(this, App().GetMessageText(6), "Info", wxOK | wxICON_INFORMATION);
        App().SwitchView(VIEW_MAIN);
        return;
    }
    switch (SaveTrvFile(std::filesystem::path(path), Doc().m_szModelId, m_job.readBuf)) {
        case SaveResult::CreateError:
            ShowMessageBox(this, "FileCreateError", "Error", wxOK | wxICON_ERROR);
            App().PostClose();
            return;
        case SaveResult::WriteError:
            ShowMessageBox(this, "FileWriteError", "Error", wxOK | wxICON_ERROR);
            App().PostClose();
            return;
        case SaveResult::Saved:
            break;
    }
    ShowMessageBox(this, App().GetMessageText(7), "Info", wxOK | wxICON_INFORMATION);
    App().SwitchView(VIEW_MAIN);
}

void CTrevLogView::CReport::SetPosition(int position) {
    m_page.CallAfter([this, position] { m_page.m_progress->SetValue(position); });
}

void CTrevLogView::CReport::Post(LogMessage message) {
    m_page.CallAfter([this, message] { m_page.OnWorkerMessage(message); });
}
