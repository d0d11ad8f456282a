#include "ui/MessageBoxes.h"

#include <wx/msgdlg.h>

#include "ui/BoxQueue.h"

namespace teelink {

int ShowMessageBox(CBoxQueue& boxes, wxWindow* parent, const wxString& text,
                   const wxString& caption, long style) {
    const CBoxQueue::CScope open(boxes, true);
    wxMessageDialog dialog(parent, text, caption.empty() ? wxString(APP_TITLE) : caption,
                           style | wxCENTRE);
    return dialog.ShowModal();
}

}  // namespace teelink
