#pragma once

#include <deque>
#include <functional>

class wxEvtHandler;

namespace teelink {

// Boxes come one at a time. A modal loop (a message box, the file dialog)
// keeps serving posted calls, so a worker's box or result arriving while the
// user looks at a page's own box would open on top of it, or end the page
// under it. What goes through Post waits until no box is open, then runs in
// the order it was posted, one call at a time; a close request also waits for
// every other modal dialog, whose windows it would destroy.
class CBoxQueue {
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

    // Marks a modal dialog as open for its lifetime. Every modal dialog the
    // tool shows is shown inside one.
    class CScope {
    public:
        CScope(CBoxQueue& queue, bool isBox);
        ~CScope();
        CScope(const CScope&) = delete;
        CScope& operator=(const CScope&) = delete;

    private:
        CBoxQueue& m_queue;
        bool m_bBox;
    };

private:
    struct CWaiting {
        wxEvtHandler* target;
        std::function<void()> call;
        Wait wait;
    };
    bool Ready(Wait wait) const;
    void RunReady();
    void ScheduleRun(wxEvtHandler& target);

    int m_nBoxes = 0;
    int m_nDialogs = 0;
    bool m_bScheduled = false;
    std::deque<CWaiting> m_waiting;
};

}  // namespace teelink
