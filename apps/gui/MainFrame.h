#pragma once

#include <wx/frame.h>

class wxBoxSizer;

namespace teelink {

class CPage;
class CTeelinkApp;

// The one frame: no menu, toolbar or status bar; the active page fills it.
class CMainFrame : public wxFrame {
public:
    explicit CMainFrame(CTeelinkApp& app);

    void AddPage(CPage* page, bool shown);
    // Sizes the frame's client area to the page.
    void FitToPage(CPage* page);

private:
    void OnClose(wxCloseEvent& event);

    CTeelinkApp& m_app;
    wxBoxSizer* m_sizer;
};

}  // namespace teelink
