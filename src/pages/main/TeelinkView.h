#pragma once

#include <wx/timer.h>

#include <map>

#include "core/Worker.h"
#include "identity/DevicePolling.h"
#include "resources/Images.h"
#include "ui/Layout.h"
#include "ui/Page.h"
#include "ui/WindowReport.h"

class wxButton;
class wxChoice;
class wxStaticBitmap;
class wxStaticText;
class wxWindow;

namespace teelink {

// The main page: language choice and server checks at start, device polling
// once a second while shown, the Start buttons and the website links.
class CTeelinkView : public CPage {
public:
    CTeelinkView(wxWindow* parent, IPageHost& host, int paneId);
    ~CTeelinkView() override;

    void OnInitialUpdate() override;
    void OnShowPage(bool shown) override;
    wxWindow* FocusTarget() const override;
    void StopWork() override;

    // State that tests and the colouring look at.
    bool DeviceShown() const { return m_poll.m_bDeviceShown; }
    bool Polling() const { return m_timer.IsRunning() || m_reader.Running(); }
    int m_nBmpConnected = IMG_CONNECTED_JA;
    int m_nBmpNotConnected = IMG_NOT_CONNECTED_JA;

private:
    void CreateControls();
    wxWindow* Control(int id) const;
    void SetText(int id, const std::wstring& text);
    // The device picture, named by its words and `detail` (the device shown).
    void SetPicture(int bitmapId, const std::wstring& detail = {});
    void UpdateVersionColour();

    void OnTimer(wxTimerEvent& event);
    void Tick();
    void FinishIdentify(bool ok);
    void StartIdentify(const CDevice& device);
    void ShowDevice();
    void ShowNoDevice();
    void Rearm();
    void EnableStartButtons(bool enable);
    void EnableFavouritesEntry(bool enable);

    void OnCourseDataStart(wxCommandEvent& event);
    void OnSystemDataStart(wxCommandEvent& event);
    void OnLogStart(wxCommandEvent& event);
    void OnFavorites(wxCommandEvent& event);
    void OnWebsite(wxCommandEvent& event);
    void OnLogWebPage(wxCommandEvent& event);

    CControls m_controls;
    wxStaticBitmap* m_picture = nullptr;
    wxChoice* m_areaCombo = nullptr;
    wxTimer m_timer;
    CPollState m_poll;
    CUnusableLog m_unusableLog;
    int m_nShownBitmap = IMG_NOT_CONNECTED_JA;
    int m_nStartedBy = 0;  // the button that started the last operation
    wxString m_strPictureName;
    bool m_bShown = false;
    CWindowThread m_thread;
    CJobRunner<CIdentified> m_reader;  // last: joined before what its job uses goes away
};

}  // namespace teelink
