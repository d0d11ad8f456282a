#pragma once

#include <wx/panel.h>

#include "ui/PageHost.h"

namespace teelink {

class CTeelinkDoc;

// Page numbers of SwitchView.
enum ViewId : int {
    VIEW_MAIN = 0,
    VIEW_UPDATE = 1,
    VIEW_TREVLOG = 2,
    VIEW_FAVORITE = 3,
};

// Pane ids: the active page carries the first-pane id, the hidden pages the
// three after it. (Kept beside the window id: wx window ids stop at 32767.)
inline constexpr int ID_PANE_FIRST = 0xE900;  // 59648

// A form page of the frame: white background, the 9-point page font, controls
// placed in dialog units as the page templates give them, and the show/hide
// notifications that start and stop a page's work.
class CPage : public wxPanel {
public:
    CPage(wxWindow* parent, IPageHost& host, int paneId, const wxString& name, int widthDu,
          int heightDu);

    // Runs once, after the page and its controls exist (the initial update).
    virtual void OnInitialUpdate() {}
    // The page has just been shown (true) or hidden (false) by SwitchView.
    virtual void OnShowPage(bool /*shown*/) {}
    // Where the keyboard goes when the page is shown (none: the page's first).
    virtual wxWindow* FocusTarget() const { return nullptr; }
    // The application is closing: stop workers and wait for them.
    virtual void StopWork() {}

    // A rectangle given in dialog units, in pixels of this page's font.
    wxRect Du(int x, int y, int w, int h) const;
    wxSize PageSizePx() const { return m_pageSize; }
    // The template's size, or more where a control grew past it to fit its
    // text, with the template's margin kept beyond the farthest control.
    wxSize NeededSizePx() const;

    int PaneId() const { return m_nPaneId; }
    void SetPaneId(int id) { m_nPaneId = id; }

    IPageHost& Host() const { return m_host; }
    // The document, from the window's thread only (checked in test builds).
    CTeelinkDoc& Doc() const;
    std::wstring Text(MessageId id) const { return m_host.GetMessageText(id); }
    // A message box owned by this page.
    int ShowBox(const wxString& text, const wxString& caption, long style);

protected:
    // The header logo that every page shows at (7, 7).
    void AddHeaderLogo(int widthDu, int heightDu);

private:
    void OnEraseBackground(wxEraseEvent& event);

    IPageHost& m_host;
    wxSize m_pageSize;
    int m_nPaneId;
};

// A rectangle given in dialog units of `window`'s font, in pixels. Set the font
// first: the units follow it.
wxRect DialogUnitsRect(const wxWindow& window, int x, int y, int w, int h);

// The page font: "MS UI Gothic" 9 pt where installed, else the platform's
// user-interface font at 9 pt.
wxFont PageFont();

}  // namespace teelink
