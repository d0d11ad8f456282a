#pragma once

#include <memory>

#include "ui/Layout.h"
#include "ui/Page.h"
#include "ui/WindowReport.h"
#include "update/UpdateRun.h"

class wxGauge;
class wxPowerResourceBlocker;
class wxStaticText;

namespace teelink {

// The update page: downloads the package of the update mode the main page set,
// then writes it to the device, with two bars and the remaining time.
class CUpdateView : public CPage {
public:
    CUpdateView(wxWindow* parent, IPageHost& host, int paneId);
    ~CUpdateView() override;

    void OnInitialUpdate() override;
    void OnShowPage(bool shown) override;
    wxWindow* FocusTarget() const override;
    void StopWork() override;

    int DownloadPosition() const;
    int WritePosition() const;
    bool WorkerRunning() const { return m_run.Running(); }
    const CUpdateJob& Job() const { return m_run.Job(); }

private:
    void StartRun();
    void OnProgress(int bar, int position);
    void OnWorkerMessage(UpdateMessage message, int param);
    void StartWritePhase();
    void OnCancel(wxCommandEvent& event);

    CControls m_controls;
    wxStaticText* m_notice = nullptr;
    wxStaticText* m_remainTime = nullptr;
    wxGauge* m_progressDownload = nullptr;
    wxGauge* m_progressWrite = nullptr;
    // Holds off system sleep while the device is being written.
    std::unique_ptr<wxPowerResourceBlocker> m_sleepBlocker;

    CWindowReport<UpdateMessage> m_report;
    CUpdateRun m_run;  // last: its worker ends before anything it reports to
};

}  // namespace teelink
