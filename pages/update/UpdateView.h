#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "app/Page.h"
#include "pages/update/UpdateWorkers.h"

class wxGauge;
class wxPowerResourceBlocker;
class wxStaticText;

// The update page: downloads the package of the update mode the main page set,
// then writes it to the device, with two bars and the remaining time.
class CUpdateView : public CPage {
public:
    CUpdateView(wxWindow* parent, int paneId);
    ~CUpdateView() override;

    void OnInitialUpdate() override;
    void OnShowPage(bool shown) override;
    void StopWork() override;

    int DownloadPosition() const;
    int WritePosition() const;
    bool WorkerRunning() const { return m_worker.joinable() && !m_workerDone.load(); }
    const CUpdateJob& Job() const { return m_job; }

private:
    // Reports of the workers, carried to the user-interface thread.
    class CReport : public IUpdateReport {
    public:
        explicit CReport(CUpdateView& page) : m_page(page) {}
        void SetDownloadPosition(int position) override;
        void SetWritePosition(int position) override;
        void Post(UpdateMessage message, int param) override;

    private:
        CUpdateView& m_page;
    };

    void StartRun();
    bool BuildUrl();
    template <typename Work>
    void RunWorker(Work work);
    void JoinWorker();
    void OnWorkerMessage(UpdateMessage message, int param);
    void StartWritePhase();
    void OnCancel(wxCommandEvent& event);

    CUpdateJob m_job;
    CReport m_report{*this};
    std::thread m_worker;
    std::atomic<bool> m_workerDone{true};
    std::atomic<int> m_nLastRemainMinutes{0};
    // Holds off system sleep while the device is being written.
    std::unique_ptr<wxPowerResourceBlocker> m_sleepBlocker;

    wxStaticText* m_notice = nullptr;
    wxStaticText* m_remainTime = nullptr;
    wxGauge* m_progressDownload = nullptr;
    wxGauge* m_progressWrite = nullptr;
};
