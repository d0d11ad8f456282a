#pragma once

#include <wx/timer.h>

#include <map>

#include "app/Page.h"
#include "pages/main/DevicePolling.h"

class wxButton;
class wxChoice;
class wxStaticBitmap;
class wxStaticText;
class wxWindow;

inline constexpr int POLL_TIMER_ID = 1;
inline constexpr int POLL_PERIOD_MS = 1000;

// The main page: language choice and server checks at start, device polling
// once a second while shown, the Start buttons and the website links.
class CTeelinkView : public CPage {
public:
    CTeelinkView(wxWindow* parent, int paneId);
    ~CTeelinkView() override;

    void OnInitialUpdate() override;
    void OnShowPage(bool shown) override;
    void StopWork() override;

    // Runs the language dialog and stores the choice, whatever ended the dialog.
    void RunLanguageDialog();

    // State that tests and the colouring look at.
    bool DeviceShown() const { return m_poll.m_bDeviceShown; }
    int ShownBitmap() const { return m_nShownBitmap; }
    bool VersionMarked() const { return m_bVersionMarked; }
    bool Polling() const { return m_timer.IsRunning() || m_reader.Running(); }
    int m_nBmpConnected = 316;
    int m_nBmpNotConnected = 318;

private:
    void CreateControls();
    wxWindow* Control(int id) const;
    void SetText(int id, const std::wstring& text);
    void SetPicture(int bitmapId);
    void UpdateVersionColour();

    void OnTimer(wxTimerEvent& event);
    void Tick();
    void FinishIdentify(bool ok);
    void ShowDevice();
    void ShowNoDevice();
    void Rearm();
    void EnableStartButtons(bool enable);

    void OnCourseDataStart(wxCommandEvent& event);
    void OnSystemDataStart(wxCommandEvent& event);
    void OnLogStart(wxCommandEvent& event);
    void OnFavorites(wxCommandEvent& event);
    void OnWebsite(wxCommandEvent& event);
    void OnLogWebPage(wxCommandEvent& event);

    std::map<int, wxWindow*> m_controls;
    wxStaticBitmap* m_picture = nullptr;
    wxChoice* m_areaCombo = nullptr;
    wxTimer m_timer;
    CPollState m_poll;
    CDeviceReadWorker m_reader;
    int m_nShownBitmap = 318;
    bool m_bVersionMarked = false;
    bool m_bShown = false;
};
