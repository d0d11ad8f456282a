#include "ui/BoxQueue.h"

#include <wx/app.h>
#include <wx/event.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>

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

int CBoxQueue::Enter(wxDialog* dialog) {
    // Message boxes and file dialogs are boxes; anything else (the language
    // dialog, the course selection) is a dialog, whose own results still run.
    const bool isBox = dynamic_cast<wxMessageDialogBase*>(dialog) != nullptr ||
                       dynamic_cast<wxFileDialogBase*>(dialog) != nullptr;
    if (m_open.empty()) {
        m_focusBefore = wxWindow::FindFocus();
    }
    if (m_open.emplace(dialog, isBox).second) {
        ++(isBox ? m_nBoxes : m_nDialogs);
    }
    return wxID_NONE;  // shown as usual
}

void CBoxQueue::Exit(wxDialog* dialog) {
    const auto it = m_open.find(dialog);
    if (it == m_open.end()) {
        return;  // a dialog another hook answered before this one saw it
    }
    --(it->second ? m_nBoxes : m_nDialogs);
    m_open.erase(it);
    if (m_open.empty()) {
        RestoreFocus();
    }
    if (wxTheApp != nullptr) {
        ScheduleRun(*wxTheApp);
    }
}

void CBoxQueue::RestoreFocus() {
    // The keyboard goes back where it was, as the user left it; a control that
    // went away or cannot act meanwhile (a device unplugged under the box)
    // hands it to the page's own place for it.
    wxWindow* target = m_focusBefore.get();
    m_focusBefore = nullptr;
    if (target == nullptr || !target->IsShownOnScreen() || !target->IsEnabled()) {
        target = m_focusHome ? m_focusHome() : nullptr;
    }
    if (target != nullptr && target != wxWindow::FindFocus()) {
        target->SetFocus();
    }
}

}  // namespace teelink
