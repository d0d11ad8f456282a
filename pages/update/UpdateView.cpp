#include "pages/update/UpdateView.h"

#include <algorithm>

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/power.h>
#include <wx/stattext.h>

#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "pages/update/UpdatePageIds.h"
#include "ui/MessageBoxes.h"
#include "ui/TextFit.h"

namespace teelink {

CUpdateView::CUpdateView(wxWindow* parent, IPageHost& host, int paneId)
    : CPage(parent, host, paneId, "Update", 250, 300),
      m_report(
          *this, host.Boxes(), [this](int bar, int position) { OnProgress(bar, position); },
          [this](UpdateMessage message, int param) { OnWorkerMessage(message, param); }),
      m_run(m_report, host.Notifier()) {
    AddHeaderLogo(157, 38);
    auto rect = [this](int x, int y, int w, int h) { return Du(x, y, w, h); };
    wxRect r = rect(15, 45, 185, 43);
    m_notice = new wxStaticText(this, IDC_NOTICE, wxEmptyString, r.GetPosition(), r.GetSize(),
                                wxST_NO_AUTORESIZE);
    // Wider than the template's 32 units: "ダウンロード" needs more in this
    // platform's font, and nothing stands to its right.
    r = rect(15, 90, 80, 8);
    new wxStaticText(this, IDC_DOWNLOAD_LABEL, wxEmptyString, r.GetPosition(), r.GetSize(),
                     wxST_NO_AUTORESIZE);
    r = rect(13, 102, 150, 14);
    m_progressDownload = new wxGauge(this, IDC_DOWNLOAD_BAR, 1000, r.GetPosition(), r.GetSize());
    r = rect(15, 133, 26, 8);
    new wxStaticText(this, IDC_WRITE_LABEL, wxEmptyString, r.GetPosition(), r.GetSize(),
                     wxST_NO_AUTORESIZE);
    // Wider than the 39 units of the template, so that "Remaining time 12 minutes"
    // is not cut off.
    r = rect(58, 133, 105, 8);
    m_remainTime = new wxStaticText(this, IDC_REMAIN_TIME, wxEmptyString, r.GetPosition(),
                                    r.GetSize(), wxST_NO_AUTORESIZE);
    r = rect(13, 145, 150, 14);
    m_progressWrite = new wxGauge(this, IDC_WRITE_BAR, 1000, r.GetPosition(), r.GetSize());
    r = rect(198, 234, 45, 25);
    new wxButton(this, IDC_UPDATE_CANCEL, wxEmptyString, r.GetPosition(), r.GetSize());
    r = rect(198, 268, 45, 25);
    new wxButton(this, IDC_UPDATE_EXIT, wxEmptyString, r.GetPosition(), r.GetSize());

    Bind(wxEVT_BUTTON, &CUpdateView::OnCancel, this, IDC_UPDATE_CANCEL);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Host().PostClose(); }, IDC_UPDATE_EXIT);
}

CUpdateView::~CUpdateView() {
    StopWork();
}

void CUpdateView::OnInitialUpdate() {
    m_progressDownload->SetRange(1000);
    m_progressWrite->SetRange(1000);
    SetFittedLabel(*m_remainTime, wxEmptyString);
    SetFittedLabel(*FindWindow(IDC_DOWNLOAD_LABEL), Text(MSG_DOWNLOAD));
    SetFittedLabel(*FindWindow(IDC_WRITE_LABEL), Text(MSG_WRITE));
    SetFittedLabel(*FindWindow(IDC_UPDATE_CANCEL), Text(MSG_CANCEL));
    SetFittedLabel(*FindWindow(IDC_UPDATE_EXIT), Text(MSG_EXIT));
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
        message != WM_UPDATE_REMAIN_TIME) {
        m_sleepBlocker.reset();
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
        case WM_UPDATE_WRITE_FAILED:
            ShowBox(Text(MSG_WRITE_FAILED), "Zorvik", wxOK | wxICON_ERROR);
            Host().PostClose();
            break;
        case WM_UPDATE_REMAIN_TIME:
            SetFittedLabel(*m_remainTime, FormatMessageInt(Text(MSG_REMAINING_MINUTES), param));
            break;
    }
}

void CUpdateView::OnProgress(int bar, int position) {
    wxGauge* gauge = bar == BAR_DOWNLOAD ? m_progressDownload : m_progressWrite;
    gauge->SetValue(std::clamp(position, 0, gauge->GetRange()));
}

}  // namespace teelink
