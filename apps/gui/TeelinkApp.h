#pragma once

#include <wx/app.h>

#include <memory>

#include "core/AppOptions.h"
#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceList.h"
#include "ui/BoxQueue.h"
#include "ui/GuiNotifier.h"
#include "ui/Page.h"
#include "ui/PageHost.h"

namespace teelink {

class CMainFrame;

// The application object: start-up, the four pages and their switching, the
// device list, the message table and the language. It is the pages' host.
class CTeelinkApp : public wxApp, public IPageHost {
public:
    CTeelinkApp();
    ~CTeelinkApp() override;

    bool OnInit() override;
    int OnExit() override;

    // Replaces the defaults before OnInit runs (GUI tests).
    void SetOptions(CAppOptions options) { m_options = std::move(options); }

    // IPageHost
    CTeelinkDoc& Doc() override { return *m_pDoc; }
    CDeviceList& Devices() override { return *m_deviceList; }
    IUserNotifier& Notifier() override { return *m_notifier; }
    const CAppOptions& Options() const override { return m_options; }
    CBoxQueue& Boxes() override { return m_boxes; }
    std::wstring GetMessageText(MessageId id) const override {
        return m_messages.GetMessageText(id);
    }
    int Language() const override { return m_messages.m_nLanguage; }
    void ChooseLanguage() override;
    // Shows page `page` (anything but 1, 2 or 3 selects the main page) and returns
    // the page that was active before.
    CPage* SwitchView(int page) override;
    // Ends the program without a question: posts a close request to the frame,
    // which runs once no box is open.
    void PostClose() override;
    bool IsClosing() const override { return m_bClosing; }
    void OpenUrl(const std::string& url) const override;

    void OnExitButton() { PostClose(); }
    CPage* ActiveView() const { return m_pActiveView; }
    // Where the keyboard belongs on the shown page: its focus target when that
    // can act, else the page.
    wxWindow* KeyboardHome() const;
    CPage* Page(int page) const;
    template <typename T>
    T* PageAs(int page) const {
        return static_cast<T*>(Page(page));
    }
    void SetLanguage(int language) { m_messages.m_nLanguage = language; }
    CMainFrame* Frame() const { return m_pFrame; }
    // Called by the frame when it closes: releases waiting workers, then joins them.
    void StopAllWork();

private:
    CAppOptions m_options;
    CMessageTable m_messages;
    CBoxQueue m_boxes;
    std::unique_ptr<CGuiNotifier> m_notifier;
    std::unique_ptr<CDeviceList> m_deviceList;
    std::unique_ptr<CTeelinkDoc> m_pDoc;
    CMainFrame* m_pFrame = nullptr;
    std::array<CPage*, 4> m_pages{};
    CPage* m_pActiveView = nullptr;
    bool m_bClosing = false;
};

}  // namespace teelink

wxDECLARE_APP(teelink::CTeelinkApp);
