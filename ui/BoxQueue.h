#pragma once

#include <wx/modalhook.h>

#include <deque>
#include <functional>

class wxEvtHandler;

// Boxes come one at a time. A modal loop (a message box, the file dialog)
// keeps serving posted calls, so a worker's box or result arriving while the
// user looks at a page's own box would open on top of it, or end the page
// under it. What goes through Post waits until no modal dialog is open, then
// runs in the order it was posted, one call at a time.
class CBoxQueue : public wxModalDialogHook {
public:
    CBoxQueue();
    ~CBoxQueue() override;

    // Runs `call` on `target`'s thread once no modal dialog is open.
    void Post(wxEvtHandler& target, std::function<void()> call);
    bool BoxOpen() const { return m_nOpen > 0; }
    // Forgets every waiting call: the windows they were meant for are going.
    void Clear() { m_waiting.clear(); }

protected:
    int Enter(wxDialog* dialog) override;
    void Exit(wxDialog* dialog) override;

private:
    struct CWaiting {
        wxEvtHandler* target;
        std::function<void()> call;
    };
    void RunNext();

    int m_nOpen = 0;
    bool m_bScheduled = false;
    std::deque<CWaiting> m_waiting;
};
