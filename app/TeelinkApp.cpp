#include "app/TeelinkApp.h"

#include <wx/utils.h>

#include "app/MainFrame.h"
#include "app/MessageBoxes.h"
#include "pages/favorites/FavoriteView.h"
#include "pages/log/TrevLogView.h"
#include "pages/main/TeelinkView.h"
#include "pages/update/UpdateView.h"

wxIMPLEMENT_APP_NO_MAIN(CTeelinkApp);

namespace {
// Child ids of the hidden pages at creation; SwitchView exchanges them.
constexpr int ID_UPDATE_PAGE = ID_PANE_FIRST + 1;
constexpr int ID_TREVLOG_PAGE = ID_PANE_FIRST + 2;
constexpr int ID_FAVORITE_PAGE = ID_PANE_FIRST + 3;
}  // namespace

CTeelinkApp::CTeelinkApp() {
    SetAppName(APP_TITLE);
}

CTeelinkApp::~CTeelinkApp() = default;

bool CTeelinkApp::OnInit() {
    // OnInit may run more than once in one process (GUI tests); start from nothing.
    m_bClosing = false;
    m_pMainView = nullptr;
    m_pUpdateView = nullptr;
    m_pTrevView = nullptr;
    m_pFavoriteView = nullptr;
    m_messages.m_nLanguage = LANG_JAPANESE;
    m_notifier = std::make_unique<CGuiNotifier>();
    m_deviceList = std::make_unique<CDeviceList>(m_options.devices);
    m_pDoc = std::make_unique<CTeelinkDoc>(*m_deviceList, *m_notifier, m_messages,
                                           m_options.toolVersion);
    m_pDoc->m_strScriptUrl = m_options.scriptUrl;

    m_pFrame = new CMainFrame();
    SetTopWindow(m_pFrame);

    // The main page runs its initial update (language dialog, server checks)
    // before the frame is shown; a close request posted there is processed once
    // the event loop runs.
    m_pMainView = new CTeelinkView(m_pFrame, ID_PANE_FIRST);
    m_pActiveView = m_pMainView;
    m_pFrame->AddPage(m_pMainView, true);
    m_pMainView->OnInitialUpdate();

    m_pUpdateView = new CUpdateView(m_pFrame, ID_UPDATE_PAGE);
    m_pFrame->AddPage(m_pUpdateView, false);
    m_pUpdateView->OnInitialUpdate();
    m_pTrevView = new CTrevLogView(m_pFrame, ID_TREVLOG_PAGE);
    m_pFrame->AddPage(m_pTrevView, false);
    m_pTrevView->OnInitialUpdate();
    m_pFavoriteView = new CFavoriteView(m_pFrame, ID_FAVORITE_PAGE);
    m_pFrame->AddPage(m_pFavoriteView, false);
    m_pFavoriteView->OnInitialUpdate();

    m_pFrame->FitToPage(m_pMainView);
    m_pFrame->Show();
    m_pFrame->Update();
    m_pMainView->OnShowPage(true);
    return true;
}

int CTeelinkApp::OnExit() {
    if (m_notifier) {
        m_notifier->Shutdown();
    }
    return wxApp::OnExit();
}

CPage* CTeelinkApp::Page(int page) const {
    switch (page) {
        case VIEW_UPDATE:
            return (m_pUpdateView);
        case VIEW_TREVLOG:
            return (m_pTrevView);
        case VIEW_FAVORITE:
            return (m_pFavoriteView);
        default:
            return (m_pMainView);
    }
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
    return oldView;
}

void CTeelinkApp::OnExitButton() {
    PostClose();
}

void CTeelinkApp::PostClose() {
    if (m_pFrame == nullptr || m_bClosing) {
        return;
    }
    m_bClosing = true;
    CMainFrame* frame = m_pFrame;
    frame->CallAfter([frame] { frame->Close(true); });
}

void CTeelinkApp::StopAllWork() {
    m_bClosing = true;
    m_notifier->Shutdown();
    for (int page = VIEW_MAIN; page <= VIEW_FAVORITE; ++page) {
        if (CPage* p = Page(page)) {
            p->StopWork();
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
