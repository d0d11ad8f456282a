#include "ui/BoxQueue.h"

#include <wx/app.h>
#include <wx/event.h>

CBoxQueue::CBoxQueue() {
    Register();
}

CBoxQueue::~CBoxQueue() {
    Unregister();
}

void CBoxQueue::Post(wxEvtHandler& target, std::function<void()> call) {
    // Queued even when no box is open: the call must not overtake one that is
    // already waiting.
    target.CallAfter([this, &target, call = std::move(call)]() mutable {
        m_waiting.push_back({&target, std::move(call)});
        RunNext();
    });
}

int CBoxQueue::Enter(wxDialog* /*dialog*/) {
    ++m_nOpen;
    return wxID_NONE;  // the dialog is shown as usual
}

void CBoxQueue::Exit(wxDialog* /*dialog*/) {
    if (m_nOpen > 0) {
        --m_nOpen;
    }
    if (m_nOpen == 0 && !m_waiting.empty() && !m_bScheduled) {
        // After the dialog's own loop has returned to its caller.
        m_bScheduled = true;
        wxTheApp->CallAfter([this] {
            m_bScheduled = false;
            RunNext();
        });
    }
}

void CBoxQueue::RunNext() {
    // One call at a time: a call that opens a box holds back the rest until
    // that box is gone (Exit schedules the next).
    while (m_nOpen == 0 && !m_waiting.empty()) {
        CWaiting next = std::move(m_waiting.front());
        m_waiting.pop_front();
        next.call();
    }
}
