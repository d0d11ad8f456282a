#include "pages/log/TrevLogView.h"

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/gauge.h>
#include <wx/stattext.h>

#include <iostream>

#include "core/AppOptions.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceList.h"
#include "history/History.h"
#include "pages/log/LogPageIds.h"
#include "trevlog/LogHistory.h"
#include "ui/BoxQueue.h"
#include "ui/Layout.h"
#include "ui/MessageBoxes.h"
#include "ui/TextFit.h"

namespace teelink {

namespace {

using K = ControlKind;

// The template, in its order (positions in dialog units).
constexpr CControlSpec kControls[] = {
    {IDC_LOG_EXIT, K::Button, 198, 268, 45, 25, 0, MSG_EXIT},
    {IDC_LOG_PROGRESS, K::Gauge, 16, 115, 150, 14, 0, -1, nullptr, -1, IDC_LOG_STATUS},
    {IDC_LOG_CANCEL, K::Button, 198, 234, 45, 25, 0, MSG_CANCEL},
    {IDC_LOG_STATUS, K::Label, 15, 45, 185, 43},
};

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

CTrevLogView::CTrevLogView(wxWindow* parent, IPageHost& host, int paneId)
    : CPage(parent, host, paneId, "TrevLog", 250, 300),
      m_report(
          *this, host.Boxes(), [this](int, int position) { m_progress->SetValue(position); },
          [](LogNotice, int) {}),
      m_reader(m_report, host.Notifier()) {
    AddHeaderLogo(157, 38);
    m_controls = CreateControls(*this, kControls,
                                [this](int x, int y, int w, int h) { return Du(x, y, w, h); });
    m_progress = m_controls.As<wxGauge>(IDC_LOG_PROGRESS);
    m_status = m_controls.As<wxStaticText>(IDC_LOG_STATUS);
    SetTabOrder(m_controls, {IDC_LOG_CANCEL, IDC_LOG_EXIT});
    // Exit ends the read before the next block: the program is closing.
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent&) {
            m_reader.Stop();
            Host().PostClose();
        },
        IDC_LOG_EXIT);
    Bind(wxEVT_BUTTON, &CTrevLogView::OnCancel, this, IDC_LOG_CANCEL);
}

CTrevLogView::~CTrevLogView() {
    StopWork();
}

void CTrevLogView::OnInitialUpdate() {
    m_progress->SetRange(1000);
    m_progress->SetValue(0);
    ApplyTexts(m_controls, kControls, [this](MessageId id) { return Text(id); });
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
    // A read that has not ended goes on.
    if (m_reader.Running()) {
        return;
    }
    m_image.clear();
    m_progress->SetValue(0);
    wxString status(Text(MSG_READING_LOG));
    status.Replace("\r\n", "\n");
    SetFittedLabel(*m_status, status);
    ApplyAccessibleNames(m_controls, kControls);  // the bar is named by the status
    // The identified device, by its path; one that has gone fails to open.
    const CDevice device = Host().Devices().At(Doc().m_strDevicePath).value_or(CDevice());
    m_reader.Start(
        CJobPlace{device, Doc().m_serverSettings},
        [this](const CJobContext& context) { return LogReadJob(context, m_report); },
        [this](Result<LogImage>& read) { OnRead(read); });
}

void CTrevLogView::StopWork() {
    m_reader.StopAndWait();
}

void CTrevLogView::OnCancel(wxCommandEvent& /*event*/) {
    // After an open or device error no job is left to see the request: Cancel
    // then leads back to the main page instead of leaving the page stalled.
    if (m_reader.Running()) {
        m_reader.Cancel();
    } else if (!Host().IsClosing()) {
        Host().SwitchView(VIEW_MAIN);
    }
}

void CTrevLogView::OnRead(Result<LogImage>& read) {
    // A result that arrives after the user left the page (Cancel pressed while
    // it was on its way) is dropped.
    if (Host().IsClosing() || !IsShown()) {
        return;
    }
    if (read) {
        m_image = std::move(read.Value());
        Save();
    } else if (read.Failure().Kind() == FailureKind::Cancelled) {
        ShowBox(Text(MSG_OPERATION_ABORTED), "Teelink", wxOK | wxICON_INFORMATION);
        Host().SwitchView(VIEW_MAIN);
    }
    // After a failure its texts have been shown; the page waits for Cancel or Exit.
}

bool CTrevLogView::AskForFile(std::wstring& path) {
    const std::wstring proposed = ProposedLogNameToday();
    const std::wstring filters = Text(MSG_LOG_FILE_FILTER);
    if (Host().Options().chooseSaveFile) {
        return Host().Options().chooseSaveFile(proposed, filters, path);
    }
    wxFileDialog dialog(this, wxEmptyString, wxEmptyString, proposed, FilterForDialog(filters),
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) {
        return false;
    }
    path = dialog.GetPath().ToStdWstring();
    return true;
}

bool CTrevLogView::ChooseFile(std::wstring& path) {
    for (;;) {
        std::wstring chosen;
        if (!AskForFile(chosen)) {
            return false;
        }
        // The toolkits here add no extension of their own: a name typed without
        // one gets the log file's. The dialog's own overwrite question only knew
        // the typed name, so a file the appended extension meets is asked about
        // here; "No" goes back to the dialog.
        const std::filesystem::path final = WithLogExtension(std::filesystem::path(chosen));
        std::error_code error;
        if (final.wstring() != chosen && std::filesystem::exists(final, error)) {
            const int answer = ShowBox(ReplaceQuestion(Host().Language(), final.wstring()),
                                       wxEmptyString, wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION);
            if (answer != wxID_YES) {
                continue;
            }
        }
        path = final.wstring();
        return true;
    }
}

void CTrevLogView::RecordInHistory(const std::filesystem::path& file, SaveResult saved) {
    const std::filesystem::path history = Host().Options().historyFile.empty()
                                              ? CHistoryFile::DefaultPath()
                                              : Host().Options().historyFile;
    if (Status recorded = RecordLogSave(history, "teelink", Doc(), file, m_image, saved);
        !recorded) {
        // Never a box: the save itself went as it went.
        std::cerr << "teelink: warning: the update history was not written: "
                  << recorded.Failure().Texts().front() << '\n';
    }
}

void CTrevLogView::Save() {
    std::wstring path;
    if (!ChooseFile(path)) {
        ShowBox(Text(MSG_OPERATION_ABORTED), "Info", wxOK | wxICON_INFORMATION);
        Host().SwitchView(VIEW_MAIN);
        return;
    }
    // The user has agreed to replace a file of that name.
    const SaveResult saved =
        SaveTrvFile(std::filesystem::path(path), Doc().m_szModelId, m_image, SaveMode::Replace);
    RecordInHistory(std::filesystem::path(path), saved);
    switch (saved) {
        case SaveResult::CreateError:
        case SaveResult::NotRegular:
        case SaveResult::Exists:
            ShowBox("FileCreateError", "Error", wxOK | wxICON_ERROR);
            Host().PostClose();
            return;
        case SaveResult::WriteError:
            ShowBox("FileWriteError", "Error", wxOK | wxICON_ERROR);
            Host().PostClose();
            return;
        case SaveResult::Saved:
            break;
    }
    ShowBox(Text(MSG_COMPLETE), "Info", wxOK | wxICON_INFORMATION);
    Host().SwitchView(VIEW_MAIN);
}

wxWindow* CTrevLogView::FocusTarget() const {
    return m_controls.Get(IDC_LOG_CANCEL);
}

}  // namespace teelink
