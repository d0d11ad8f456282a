#pragma once

#include <atomic>
#include <thread>

#include "app/Page.h"
#include "pages/log/LogReader.h"

class wxGauge;
class wxStaticText;

// The log page: reads the marked positions from the device as soon as it is
// shown, then asks where to save them as a .trv file.
class CTrevLogView : public CPage {
public:
    CTrevLogView(wxWindow* parent, int paneId);
    ~CTrevLogView() override;

    void OnInitialUpdate() override;
    void OnShowPage(bool shown) override;
    void StopWork() override;

    int Position() const;
    bool Reading() const { return m_worker.joinable() && !m_workerDone.load(); }
    const CLogJob& Job() const { return m_job; }

private:
    class CReport : public ILogReport {
    public:
        explicit CReport(CTrevLogView& page) : m_page(page) {}
        void SetPosition(int position) override;
        void Post(LogMessage message) override;

    private:
        CTrevLogView& m_page;
    };

    void StartRead();
    void JoinWorker();
    void OnWorkerMessage(LogMessage message);
    void Save();
    bool ChooseFile(std::wstring& path);
    void OnCancel(wxCommandEvent& event);

    CLogJob m_job;
    CReport m_report{*this};
    std::thread m_worker;
    std::atomic<bool> m_workerDone{true};
    wxGauge* m_progress = nullptr;
    wxStaticText* m_status = nullptr;
};
