#pragma once

#include "core/Worker.h"
#include "trevlog/LogReader.h"
#include "trevlog/TrvFile.h"
#include "ui/Layout.h"
#include "ui/Page.h"
#include "ui/WindowReport.h"

class wxGauge;
class wxStaticText;

namespace teelink {

// The log page: reads the marked positions from the device as soon as it is
// shown, then asks where to save them as a .trv file.
class CTrevLogView : public CPage {
public:
    CTrevLogView(wxWindow* parent, IPageHost& host, int paneId);
    ~CTrevLogView() override;

    void OnInitialUpdate() override;
    void OnShowPage(bool shown) override;
    wxWindow* FocusTarget() const override;
    void StopWork() override;

    int Position() const;
    bool Reading() const { return m_reader.Running(); }
    // The image of the last read that ended well.
    const LogImage& Image() const { return m_image; }

private:
    void StartRead();
    void OnRead(Result<LogImage>& read);
    void Save();
    // The save in the update history; a history that cannot be written is one
    // line on standard error.
    void RecordInHistory(const std::filesystem::path& file, SaveResult saved);
    bool AskForFile(std::wstring& path);
    bool ChooseFile(std::wstring& path);
    void OnCancel(wxCommandEvent& event);

    CControls m_controls;
    wxGauge* m_progress = nullptr;
    wxStaticText* m_status = nullptr;
    LogImage m_image;
    CWindowReport<LogNotice> m_report;
    CJobRunner<LogImage> m_reader;  // last: joined before the report goes away
};

}  // namespace teelink
