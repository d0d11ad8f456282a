#pragma once

#include <wx/app.h>

#include <memory>

#include "app/AppOptions.h"
#include "app/GuiNotifier.h"
#include "app/MessageTable.h"
#include "app/Page.h"
#include "app/TeelinkDoc.h"
#include "device/DeviceList.h"

class CMainFrame;
class CTeelinkView;
class CUpdateView;
class CTrevLogView;
class CFavoriteView;

// The application object: start-up, the four pages and their switching, the
// device list, the message table and the language.
class CTeelinkApp : public wxApp {
public:
    CTeelinkApp();
    ~CTeelinkApp() override;

    bool OnInit() override;
    int OnExit() override;

    // Replaces the defaults before OnInit runs (GUI tests).
    void SetOptions(CAppOptions options) { m_options = std::move(options); }
    const CAppOptions& Options() const { return m_options; }

    // Shows page `page` (anything but 1, 2 or 3 selects the main page) and returns
    // the page that was active before.
    CPage* SwitchView(int page);
    CPage* ActiveView() const { return m_pActiveView; }
    CPage* Page(int page) const;

    // Ends the program without a question: posts a close request to the frame.
    void OnExitButton();
    // The same, for fatal failures and the start-up checks.
    void PostClose();
    bool IsClosing() const { return m_bClosing; }
    // Called by the frame when it closes: releases waiting workers, then joins them.
    void StopAllWork();

    std::wstring GetMessageText(int id) const { return m_messages.GetMessageText(id); }
    int Language() const { return m_messages.m_nLanguage; }
    void SetLanguage(int language) { m_messages.m_nLanguage = language; }

    CTeelinkDoc& Doc() const { return *m_pDoc; }
    CMainFrame* Frame() const { return m_pFrame; }
    IUserNotifier& Notifier() { return *m_notifier; }
    void OpenUrl(const std::string& url) const;

    CTeelinkView* m_pMainView = nullptr;
    CUpdateView* m_pUpdateView = nullptr;
    CTrevLogView* m_pTrevView = nullptr;
    CFavoriteView* m_pFavoriteView = nullptr;
    std::unique_ptr<CDeviceList> m_deviceList;

private:
    CAppOptions m_options;
    CMessageTable m_messages;
    std::unique_ptr<CGuiNotifier> m_notifier;
    std::unique_ptr<CTeelinkDoc> m_pDoc;
    CMainFrame* m_pFrame = nullptr;
    CPage* m_pActiveView = nullptr;
    bool m_bClosing = false;
};

wxDECLARE_APP(CTeelinkApp);
