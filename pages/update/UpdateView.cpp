#include "pages/update/UpdateView.h"

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/power.h>
#include <wx/stattext.h>

#include "app/MessageBoxes.h"
#include "app/TeelinkApp.h"
#include "server/RequestForms.h"
#include "server/StartupRequests.h"

namespace {

constexpr int IDC_NOTICE = 1025;
constexpr int IDC_DOWNLOAD_LABEL = 1023;
constexpr int IDC_DOWNLOAD_BAR = 1027;
constexpr int IDC_WRITE_LABEL = 1024;
constexpr int IDC_REMAIN_TIME = 1032;
constexpr int IDC_WRITE_BAR = 1028;
constexpr int IDC_CANCEL = 1026;
constexpr int IDC_EXIT = 1002;

}  // namespace

CUpdateView::CUpdateView(wxWindow* parent, int paneId) : CPage(parent, paneId, "Update", 250, 300) {
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
    new wxButton(this, IDC_CANCEL, wxEmptyString, r.GetPosition(), r.GetSize());
    r = rect(198, 268, 45, 25);
    new wxButton(this, IDC_EXIT, wxEmptyString, r.GetPosition(), r.GetSize());

    Bind(wxEVT_BUTTON, &CUpdateView::OnCancel, this, IDC_CANCEL);
    Bind(
        wxEVT_BUTTON, [](wxCommandEvent&) { wxGetApp().OnExitButton(); }, IDC_EXIT);
    m_job.m_pLastRemainMinutes = &m_nLastRemainMinutes;
}

CUpdateView::~CUpdateView() {
    StopWork();
}

void CUpdateView::OnInitialUpdate() {
    m_progressDownload->SetRange(1000);
    m_progressWrite->SetRange(1000);
    m_remainTime->SetLabel(wxEmptyString);
    FindWindow(IDC_DOWNLOAD_LABEL)->SetLabel(App().GetMessageText(40));
    FindWindow(IDC_WRITE_LABEL)->SetLabel(App().GetMessageText(41));
    FindWindow(IDC_CANCEL)->SetLabel(App().GetMessageText(21));
    FindWindow(IDC_EXIT)->SetLabel(App().GetMessageText(20));
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
    // A run whose worker has not ended goes on (the page was hidden and shown
    // again from code). Joining it here could wait for a box that this very
    // thread would have to show.
    if (!m_workerDone.load()) {
        return;
    }
    JoinWorker();
    m_job.m_bCancel = false;
    m_progressDownload->SetValue(0);
    m_progressWrite->SetValue(0);
    m_notice->SetLabel(App().GetMessageText(12));
    // The remaining time of the previous run stays until a new estimate comes.
    if (!BuildUrl()) {
        return;  // no area to ask for: the page stays on its notice
    }
    m_job.m_nUpdateMode = Doc().m_nUpdateMode;
    RunWorker(
        [this] { DownloadWorker(m_job, m_report, App().Notifier(), Doc().m_serverSettings); });
}

bool CUpdateView::BuildUrl() {
    CTeelinkDoc& doc = Doc();
    switch (doc.m_nUpdateMode) {
        case UPDATE_COURSE_DATA: {
            const int index = doc.m_nAreaIndex;
            if (index < 0 || static_cast<size_t>(index) >= doc.m_areaList.size()) {
                return false;
            }
            m_job.m_strUrl =
                CourseDataUrl(doc.m_strScriptUrl, doc.m_strModel,
                              doc.m_areaList[static_cast<size_t>(index)].code, doc.m_strCourseDate);
            return true;
        }
        case UPDATE_SYSTEM_DATA:
            m_job.m_strUrl = SystemDataUrl(doc.m_strScriptUrl, doc.m_strModel, doc.m_strModelCode);
            return true;
        case UPDATE_FAVORITE_DATA:
            m_job.m_strUrl =
                FavoriteDataUrl(doc.m_strScriptUrl, doc.m_strModel, FavouriteUpdateKeys(doc));
            return true;
        default:
            return false;
    }
}

template <typename Work>
void CUpdateView::RunWorker(Work work) {
    m_workerDone = false;
    m_worker = std::thread([this, work] {
        work();
        m_workerDone = true;
    });
}

void CUpdateView::JoinWorker() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_workerDone = true;
}

void CUpdateView::StopWork() {
    m_job.m_bStopping = true;
    m_job.m_bCancel = true;
    JoinWorker();
}

void CUpdateView::OnCancel(wxCommandEvent& /*event*/) {
    m_job.m_bCancel = true;
}

void CUpdateView::StartWritePhase() {
    // A machine that sleeps in the middle of a write leaves the device half
    // written.
    m_sleepBlocker = std::make_unique<wxPowerResourceBlocker>(wxPOWER_RESOURCE_SYSTEM,
                                                              "Writing data to the device");
    m_notice->SetLabel(App().GetMessageText(14));
    m_job.m_writeStart = std::chrono::steady_clock::now();
    const CDeviceList& devices = *App().m_deviceList;
    RunWorker([this, &devices] { WriteWorker(m_job, m_report, App().Notifier(), devices); });
}

void CUpdateView::OnWorkerMessage(UpdateMessage message, int param) {
    if (App().IsClosing()) {
        return;
    }
    // Every message but these two is the worker's last act: it only has to end.
    if (message != WM_UPDATE_WRITE_CANCELLED && message != WM_UPDATE_REMAIN_TIME) {
        JoinWorker();
        m_sleepBlocker.reset();
    }
    switch (message) {
        case WM_UPDATE_DOWNLOADED:
            StartWritePhase();
            break;
        case WM_UPDATE_DOWNLOAD_CANCELLED:
            ShowMessageBox(this, App().GetMessageText(6), "Zorvik", wxOK | wxICON_INFORMATION);
            App().SwitchView(VIEW_MAIN);
            break;
        case WM_UPDATE_DOWNLOAD_FAILED:
            ShowMessageBox(this, App().GetMessageText(13), "Zorvik", wxOK | wxICON_ERROR);
            App().PostClose();
            break;
        case WM_UPDATE_WRITTEN:
            ShowMessageBox(this, App().GetMessageText(m_job.m_nUpdateMode == 1 ? 42 : 7), "Info",
                           wxOK | wxICON_INFORMATION);
            App().SwitchView(VIEW_MAIN);
            break;
        case WM_UPDATE_WRITE_CANCELLED:
            ShowMessageBox(this, App().GetMessageText(6), "Zorvik", wxOK | wxICON_INFORMATION);
            break;
        case WM_UPDATE_WRITE_FAILED:
            ShowMessageBox(this, App().GetMessageText(15), "Zorvik", wxOK | wxICON_ERROR);
            App().PostClose();
            break;
        case WM_UPDATE_REMAIN_TIME:
            m_remainTime->SetLabel(FormatMessageInt(App().GetMessageText(16), param));
            break;
    }
}

void CUpdateView::CReport::SetDownloadPosition(int position) {
    m_page.CallAfter([this, position] { m_page.m_progressDownload->SetValue(position); });
}

void CUpdateView::CReport::SetWritePosition(int position) {
    m_page.CallAfter([this, position] { m_page.m_progressWrite->SetValue(position); });
}

void CUpdateView::CReport::Post(UpdateMessage message, int param) {
    m_page.CallAfter([this, message, param] { m_page.OnWorkerMessage(message, param); });
}
