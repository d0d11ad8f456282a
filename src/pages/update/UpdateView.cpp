#include "pages/update/UpdateView.h"

#include <algorithm>
#include <iostream>

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/power.h>
#include <wx/stattext.h>

#include "core/AppOptions.h"
#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "history/History.h"
#include "pages/update/UpdatePageIds.h"
#include "ui/Layout.h"
#include "ui/MessageBoxes.h"
#include "ui/TextFit.h"

namespace teelink {

namespace {

using K = ControlKind;

// The template, in its order (positions in dialog units).
constexpr CControlSpec kControls[] = {
    {IDC_NOTICE, K::Label, 15, 45, 185, 43},
    // Wider than the template's 32 units: "ダウンロード" needs more in this
    // platform's font, and nothing stands to its right.
    {IDC_DOWNLOAD_LABEL, K::Label, 15, 90, 80, 8, 0, MSG_DOWNLOAD},
    {IDC_DOWNLOAD_BAR, K::Gauge, 13, 102, 150, 14, 0, -1, nullptr, -1, IDC_DOWNLOAD_LABEL},
    {IDC_WRITE_LABEL, K::Label, 15, 133, 26, 8, 0, MSG_WRITE},
    // Wider than the 39 units of the template, so that "Remaining time 12
    // minutes" is not cut off.
    {IDC_REMAIN_TIME, K::Label, 58, 133, 105, 8, 0, -1, nullptr, -1, IDC_WRITE_LABEL},
    {IDC_WRITE_BAR, K::Gauge, 13, 145, 150, 14, 0, -1, nullptr, -1, IDC_WRITE_LABEL},
    {IDC_UPDATE_CANCEL, K::Button, 198, 234, 45, 25, 0, MSG_CANCEL},
    {IDC_UPDATE_EXIT, K::Button, 198, 268, 45, 25, 0, MSG_EXIT},
};

}  // namespace

CUpdateView::CUpdateView(wxWindow* parent, IPageHost& host, int paneId)
    : CPage(parent, host, paneId, "Update", 250, 300),
      m_report(
          *this, host.Boxes(), [this](int bar, int position) { OnProgress(bar, position); },
          [this](UpdateMessage message, int param) { OnWorkerMessage(message, param); }),
      m_run(m_report, m_report, host.Notifier(),
            [this](UpdateMessage end) { OnWorkerMessage(end, 0); }) {
    AddHeaderLogo(157, 38);
    m_controls = CreateControls(*this, kControls,
                                [this](int x, int y, int w, int h) { return Du(x, y, w, h); });
    m_notice = m_controls.As<wxStaticText>(IDC_NOTICE);
    m_remainTime = m_controls.As<wxStaticText>(IDC_REMAIN_TIME);
    m_progressDownload = m_controls.As<wxGauge>(IDC_DOWNLOAD_BAR);
    m_progressWrite = m_controls.As<wxGauge>(IDC_WRITE_BAR);

    Bind(wxEVT_BUTTON, &CUpdateView::OnCancel, this, IDC_UPDATE_CANCEL);
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent&) {
            // The write ends before its next block: the program is closing.
            m_run.RequestStop();
            Host().PostClose();
        },
        IDC_UPDATE_EXIT);
}

CUpdateView::~CUpdateView() {
    StopWork();
}

void CUpdateView::OnInitialUpdate() {
    m_progressDownload->SetRange(1000);
    m_progressWrite->SetRange(1000);
    SetFittedLabel(*m_remainTime, wxEmptyString);
    ApplyAccessibleNames(m_controls, kControls);  // the time reads as the write's
    ApplyTexts(m_controls, kControls, [this](MessageId id) { return Text(id); });
}

int CUpdateView::DownloadPosition() const {
    return m_progressDownload->GetValue();
}
int CUpdateView::WritePosition() const {
    return m_progressWrite->GetValue();
}

void CUpdateView::OnShowPage(bool shown) {
    if (shown) {
        StartRun();
    }
}

void CUpdateView::StartRun() {
    // A run whose job has not ended goes on (the page was hidden and shown
    // again from code). Joining it here could wait for a box that this very
    // thread would have to show.
    if (m_run.Running()) {
        return;
    }
    m_progressDownload->SetValue(0);
    m_progressWrite->SetValue(0);
    SetFittedLabel(*m_notice, Text(MSG_DOWNLOADING));
    // The remaining time of the previous run stays until a new estimate comes.
    // Without an area to ask for, the page stays on its notice.
    m_run.SetHistory("teelink", Host().Options().historyFile.empty()
                                    ? CHistoryFile::DefaultPath()
                                    : Host().Options().historyFile);
    m_run.Start(Doc(), Host().Devices());
}

void CUpdateView::StopWork() {
    m_run.Stop();
}

void CUpdateView::OnCancel(wxCommandEvent& /*event*/) {
    m_run.Cancel();
}

void CUpdateView::StartWritePhase() {
    // A machine that sleeps in the middle of a write leaves the device half
    // written.
    m_sleepBlocker = std::make_unique<wxPowerResourceBlocker>(wxPOWER_RESOURCE_SYSTEM,
                                                              "Writing data to the device");
    SetFittedLabel(*m_notice, Text(MSG_WRITING));
}

void CUpdateView::OnWorkerMessage(UpdateMessage message, int param) {
    if (Host().IsClosing()) {
        return;
    }
    // Every message but the notices ends the run.
    if (message != WM_UPDATE_DOWNLOADED && message != WM_UPDATE_WRITE_CANCELLED &&
        message != WM_UPDATE_REMAIN_TIME && message != WM_UPDATE_VERIFYING) {
        m_sleepBlocker.reset();
        if (!m_run.Job().m_strHistoryWarning.empty()) {
            // Never a box: the update itself went as it went.
            std::cerr << "teelink: warning: the update history was not written: "
                      << m_run.Job().m_strHistoryWarning << '\n';
        }
    }
    switch (message) {
        case WM_UPDATE_DOWNLOADED:
            StartWritePhase();
            break;
        case WM_UPDATE_DOWNLOAD_CANCELLED:
            ShowBox(Text(MSG_OPERATION_ABORTED), "Zorvik", wxOK | wxICON_INFORMATION);
            Host().SwitchView(VIEW_MAIN);
            break;
        case WM_UPDATE_DOWNLOAD_FAILED:
            ShowBox(Text(MSG_DOWNLOAD_FAILED), "Zorvik", wxOK | wxICON_ERROR);
            Host().PostClose();
            break;
        case WM_UPDATE_WRITTEN:
            ShowBox(Text(CompletionMessage(Doc().m_nUpdateMode, Text(MSG_SYSTEM_WRITE_COMPLETE))),
                    "Info", wxOK | wxICON_INFORMATION);
            Host().SwitchView(VIEW_MAIN);
            break;
        case WM_UPDATE_WRITE_CANCELLED:
            ShowBox(Text(MSG_OPERATION_ABORTED), "Zorvik", wxOK | wxICON_INFORMATION);
            break;
        // The window asks for no read-back check; were one to fail, the write
        // did not succeed as far as the user can know.
        case WM_UPDATE_VERIFY_FAILED:
        case WM_UPDATE_NOT_VERIFIED:
        case WM_UPDATE_WRITE_FAILED:
            ShowBox(Text(MSG_WRITE_FAILED), "Zorvik", wxOK | wxICON_ERROR);
            Host().PostClose();
            break;
        case WM_UPDATE_REMAIN_TIME:
            SetFittedLabel(*m_remainTime, FormatMessageInt(Text(MSG_REMAINING_MINUTES), param));
            ApplyAccessibleNames(m_controls, kControls);  // the time reads as the write's
            break;
        case WM_UPDATE_VERIFYING:
            break;
    }
}

void CUpdateView::OnProgress(int bar, int position) {
    if (bar == BAR_VERIFY) {
        return;  // no bar of its own on this page
    }
    wxGauge* gauge = bar == BAR_DOWNLOAD ? m_progressDownload : m_progressWrite;
    gauge->SetValue(std::clamp(position, 0, gauge->GetRange()));
}

wxWindow* CUpdateView::FocusTarget() const {
    return m_controls.Get(IDC_UPDATE_CANCEL);
}

}  // namespace teelink
