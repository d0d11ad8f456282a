#include "gui/TeelinkApp.h"

#include <wx/utils.h>

#include "gui/LangDlg.h"
#include "gui/MainFrame.h"
#include "pages/favorites/FavoriteView.h"
#include "pages/log/TrevLogView.h"
#include "pages/main/TeelinkView.h"
#include "pages/update/UpdateView.h"
#include "ui/MessageBoxes.h"

namespace teelink {

CTeelinkApp::CTeelinkApp() {
    SetAppName(APP_TITLE);
}

CTeelinkApp::~CTeelinkApp() = default;

bool CTeelinkApp::OnInit() {
    // OnInit may run more than once in one process (GUI tests); start from nothing.
    m_bClosing = false;
    m_pages = {};
    m_boxes.Clear();
    // Registered last, so called first: it counts even a dialog that another
    // hook (a test's) answers without showing it.
    m_boxes.Hook();
    m_boxes.SetFocusHome(
        [this] { return m_bClosing || m_pActiveView == nullptr ? nullptr : KeyboardHome(); });
    m_messages.m_nLanguage = LANGUAGE_JAPANESE;
    m_notifier = std::make_unique<CGuiNotifier>(m_boxes);
    m_deviceList = std::make_unique<CDeviceList>(m_options.devices);
    m_pDoc = std::make_unique<CTeelinkDoc>(m_messages, m_options.toolVersion);
    m_pDoc->m_strScriptUrl = m_options.scriptUrl;

    m_pFrame = new CMainFrame(*this);
    SetTopWindow(m_pFrame);

    // The main page runs its initial update (language dialog, server checks)
    // before the frame is shown; a close request posted there is processed once
    // the event loop runs.
    auto* mainView = new CTeelinkView(m_pFrame, *this, ID_PANE_FIRST);
    m_pages[VIEW_MAIN] = mainView;
    m_pActiveView = mainView;
    m_pFrame->AddPage(mainView, true);
    mainView->OnInitialUpdate();

    // The hidden pages carry the pane ids after the first; SwitchView exchanges them.
    m_pages[VIEW_UPDATE] = new CUpdateView(m_pFrame, *this, ID_PANE_FIRST + VIEW_UPDATE);
    m_pages[VIEW_TREVLOG] = new CTrevLogView(m_pFrame, *this, ID_PANE_FIRST + VIEW_TREVLOG);
    m_pages[VIEW_FAVORITE] = new CFavoriteView(m_pFrame, *this, ID_PANE_FIRST + VIEW_FAVORITE);
    for (int page = VIEW_UPDATE; page <= VIEW_FAVORITE; ++page) {
        m_pFrame->AddPage(m_pages[page], false);
        m_pages[page]->OnInitialUpdate();
    }

    m_pFrame->FitToPage(mainView);
    m_pFrame->Show();
    m_pFrame->Update();
    mainView->OnShowPage(true);
    return true;
}

int CTeelinkApp::OnExit() {
    if (m_notifier) {
        m_notifier->Shutdown();
    }
    m_boxes.Clear();
    return wxApp::OnExit();
}

CPage* CTeelinkApp::Page(int page) const {
    if (page < VIEW_MAIN || page > VIEW_FAVORITE) {
        page = VIEW_MAIN;
    }
    return m_pages[static_cast<size_t>(page)];
}

void CTeelinkApp::ChooseLanguage() {
    CLangDlg dialog(m_pFrame);
    dialog.ShowModal();
    SetLanguage(dialog.m_nSelLanguage);
}

CPage* CTeelinkApp::SwitchView(int page) {
    CPage* oldView = m_pActiveView;
    CPage* newView = Page(page);
    const int oldId = oldView->PaneId();
    const int newId = newView->PaneId();
    oldView->SetPaneId(newId);
    newView->SetPaneId(oldId);

    oldView->Hide();
    oldView->OnShowPage(false);
    newView->Show();
    m_pActiveView = newView;
    m_pFrame->Layout();
    newView->Refresh(true);
    newView->OnShowPage(true);
    // The keyboard follows the page: a hidden button keeps no focus.
    KeyboardHome()->SetFocus();
    return oldView;
}

wxWindow* CTeelinkApp::KeyboardHome() const {
    // A panel passes the keyboard to its first control that takes it.
    wxWindow* target = m_pActiveView->FocusTarget();
    return target != nullptr && target->IsEnabled() ? target : m_pActiveView;
}

void CTeelinkApp::PostClose() {
    if (m_pFrame == nullptr || m_bClosing) {
        return;
    }
    m_bClosing = true;
    // Through the box queue: the frame and its pages are destroyed only once
    // every box that involves them has been dismissed.
    CMainFrame* frame = m_pFrame;
    m_boxes.Post(
        *frame, [frame] { frame->Close(true); }, CBoxQueue::NO_DIALOG);
}

void CTeelinkApp::StopAllWork() {
    m_bClosing = true;
    m_notifier->Shutdown();
    m_boxes.Clear();
    for (CPage* page : m_pages) {
        if (page != nullptr) {
            page->StopWork();
        }
    }
}

void CTeelinkApp::OpenUrl(const std::string& url) const {
    if (m_options.openUrl) {
        m_options.openUrl(url);
        return;
    }
    wxLaunchDefaultBrowser(wxString::FromUTF8(url));
}

}  // namespace teelink

wxIMPLEMENT_APP_NO_MAIN(teelink::CTeelinkApp);
