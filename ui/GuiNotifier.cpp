#include "ui/GuiNotifier.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/thread.h>

#include <memory>

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
    auto done = std::make_shared<bool>(false);
    m_boxes.Post(*wxTheApp, [this, message, done] {
        if (!m_shutdown.load()) {
            ShowMessageBox(nullptr, message, wxEmptyString, wxOK | wxICON_NONE);
        }
        std::lock_guard lock(m_mutex);
        *done = true;
        m_dismissed.notify_all();
    });
    std::unique_lock lock(m_mutex);
    m_dismissed.wait(lock, [&] { return *done || m_shutdown.load(); });
}

void CGuiNotifier::Shutdown() {
    {
        std::lock_guard lock(m_mutex);
        m_shutdown.store(true);
    }
    m_dismissed.notify_all();
}

}  // namespace teelink
