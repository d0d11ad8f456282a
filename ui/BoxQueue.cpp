#include "ui/BoxQueue.h"

#include <wx/app.h>
#include <wx/event.h>

namespace teelink {

void CBoxQueue::Post(wxEvtHandler& target, std::function<void()> call, Wait wait) {
    // Queued even when nothing is open: the call must not overtake one that is
    // already waiting.
    target.CallAfter([this, &target, call = std::move(call), wait]() mutable {
        m_waiting.push_back({&target, std::move(call), wait});
        RunReady();
    });
}

bool CBoxQueue::Ready(Wait wait) const {
    return wait == NO_BOX ? m_nBoxes == 0 : !ModalOpen();
}

void CBoxQueue::RunReady() {
    // In order, one at a time: a call that opens a box holds back the rest
    // until that box is gone. A close request waiting for a dialog to end does
    // not hold back what only waits for boxes (the dialog's own results).
    for (;;) {
        auto next = m_waiting.begin();
        while (next != m_waiting.end() && !Ready(next->wait)) {
            if (next->wait == NO_BOX) {
                return;  // order among box-bound calls is kept
            }
            ++next;
        }
        if (next == m_waiting.end()) {
            return;
        }
        CWaiting ready = std::move(*next);
        m_waiting.erase(next);
        ready.call();
    }
}

void CBoxQueue::ScheduleRun(wxEvtHandler& target) {
    if (m_bScheduled || m_waiting.empty()) {
        return;
    }
    // After the dialog's own loop has returned to its caller.
    m_bScheduled = true;
    target.CallAfter([this] {
        m_bScheduled = false;
        RunReady();
    });
}

CBoxQueue::CScope::CScope(CBoxQueue& queue, bool isBox) : m_queue(queue), m_bBox(isBox) {
    ++(m_bBox ? m_queue.m_nBoxes : m_queue.m_nDialogs);
}

CBoxQueue::CScope::~CScope() {
    --(m_bBox ? m_queue.m_nBoxes : m_queue.m_nDialogs);
    if (wxTheApp != nullptr) {
        m_queue.ScheduleRun(*wxTheApp);
    }
}

}  // namespace teelink
