#include "ui/MessageBoxes.h"

#include <wx/msgdlg.h>

namespace teelink {

int ShowMessageBox(wxWindow* parent, const wxString& text, const wxString& caption, long style) {
    wxMessageDialog dialog(parent, text, caption.empty() ? wxString(APP_TITLE) : caption,
                           style | wxCENTRE);
    return dialog.ShowModal();
}

}  // namespace teelink
