#include "gui/MainFrame.h"

#include <wx/sizer.h>

#include "gui/AboutDlg.h"
#include "gui/TeelinkApp.h"
#include "resources/Images.h"
#include "ui/Page.h"

namespace teelink {

CMainFrame::CMainFrame(CTeelinkApp& app)
    : wxFrame(nullptr, wxID_ANY, wxString::FromUTF8("Zorvik R7/KS PC Tool")),
      m_app(app),
      m_sizer(new wxBoxSizer(wxVERTICAL)) {
    SetBackgroundColour(*wxWHITE);
    SetIcons(AppIcons());
    SetSizer(m_sizer);
    Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnClose, this);
    // The application's About command; no control of the pages issues it.
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent&) { ShowAboutDialog(this, wxString(m_app.Doc().m_strToolVersion)); },
        wxID_ABOUT);
}

void CMainFrame::AddPage(CPage* page, bool shown) {
    page->Show(shown);
    m_sizer->Add(page, 1, wxEXPAND);
}

void CMainFrame::FitToPage(CPage* page) {
    // The platform's default frame size bears no relation to the page here, so the
    // frame takes the page's size rather than only shrinking towards it.
    SetClientSize(page->NeededSizePx());
    Layout();
}

void CMainFrame::OnClose(wxCloseEvent& event) {
    // A box still on the stack would return into destroyed windows: the frame
    // closes once every box is gone.
    if (m_app.Boxes().ModalOpen() && event.CanVeto()) {
        event.Veto();
        m_app.Boxes().Post(
            *this, [this] { Close(true); }, CBoxQueue::NO_DIALOG);
        return;
    }
    // Nothing is asked or saved; the workers end before the pages go away.
    m_app.StopAllWork();
    event.Skip();
}

}  // namespace teelink
