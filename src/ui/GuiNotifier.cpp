#include "ui/GuiNotifier.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/thread.h>

#include "ui/BoxQueue.h"
#include "ui/MessageBoxes.h"

namespace teelink {

void CGuiNotifier::ShowPlain(const std::string& text) {
    if (m_shutdown.load()) {
        return;
    }
    const wxString message = wxString::FromUTF8(text);
    if (wxIsMainThread()) {
        ShowMessageBox(nullptr, message, wxEmptyString, wxOK | wxICON_NONE);
        return;
    }
    // Jobs show nothing; should anything else off the window's thread, its
    // box waits its turn there, and the caller does not wait for it.
    m_boxes.Post(*wxTheApp, [this, message] {
        if (!m_shutdown.load()) {
            ShowMessageBox(nullptr, message, wxEmptyString, wxOK | wxICON_NONE);
        }
    });
}

void CGuiNotifier::Shutdown() {
    m_shutdown.store(true);
}

}  // namespace teelink
