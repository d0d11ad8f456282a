#pragma once

#include <deque>
#include <functional>
#include <map>

#include <wx/modalhook.h>
#include <wx/weakref.h>
#include <wx/window.h>

class wxEvtHandler;

namespace teelink {

// Boxes come one at a time. A modal loop (a message box, the file dialog)
// keeps serving posted calls, so a worker's box or result arriving while the
// user looks at a page's own box would open on top of it, or end the page
// under it. What goes through Post waits until no box is open, then runs in
// the order it was posted, one call at a time; a close request also waits for
// every other modal dialog, whose windows it would destroy.
//
// It sees the dialogs as a modal-dialog hook: every message box, file dialog
// and dialog shown modally passes through it, without any code of the caller.
// Register it after any hook that may answer a dialog without showing it (a
// test's), so that it is called first and counts that dialog too.
class CBoxQueue : public wxModalDialogHook {
public:
    enum Wait {
        NO_BOX,     // no message box or file dialog is open
        NO_DIALOG,  // no modal dialog of any kind is open
    };

    // Runs `call` on the user-interface thread, on `target`'s queue, once the
    // condition holds. Callable from any thread.
    void Post(wxEvtHandler& target, std::function<void()> call, Wait wait = NO_BOX);

    // A message box, a file dialog or any other modal dialog is open.
    bool ModalOpen() const { return m_nBoxes > 0 || m_nDialogs > 0; }
    // Forgets every waiting call: the windows they were meant for are going.
    void Clear() { m_waiting.clear(); }
    // Where the keyboard goes after the last box or dialog closed when the
    // control that had it before is gone, hidden or disabled (the shown page's
    // focus target); nullptr leaves it.
    void SetFocusHome(std::function<wxWindow*()> home) { m_focusHome = std::move(home); }
    // (Re)registers the hook, so that it is the one called first.
    void Hook() {
        if (m_bHooked) {
            Unregister();
        }
        Register();
        m_bHooked = true;
    }

protected:
    int Enter(wxDialog* dialog) override;
    void Exit(wxDialog* dialog) override;

private:
    struct CWaiting {
        wxEvtHandler* target;
        std::function<void()> call;
        Wait wait;
    };
    bool Ready(Wait wait) const;
    void RunReady();
    void ScheduleRun(wxEvtHandler& target);
    void RestoreFocus();

    int m_nBoxes = 0;
    int m_nDialogs = 0;
    std::map<const wxDialog*, bool> m_open;  // the dialogs counted, and whether each is a box
    bool m_bScheduled = false;
    bool m_bHooked = false;
    std::deque<CWaiting> m_waiting;
    // The control that had the keyboard when the first of the open dialogs came.
    wxWeakRef<wxWindow> m_focusBefore;
    std::function<wxWindow*()> m_focusHome;
};

}  // namespace teelink
