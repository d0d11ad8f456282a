#pragma once

#include <wx/dialog.h>

#include "ui/Layout.h"

class wxChoice;

namespace teelink {

// Asks for the user-interface language at every start. No close box; OK and Esc
// both take the current selection.
class CLangDlg : public wxDialog {
public:
    explicit CLangDlg(wxWindow* parent);

    int m_nSelLanguage = 0;
    wxString m_strPrompt;

    // Selects entry `index` as the user would (tests drive the dialog with it).
    void SelectLanguage(int index);

private:
    void OnSelChange(wxCommandEvent& event);
    void FitRow(const CControls& controls);

    wxChoice* m_combo;
};

}  // namespace teelink
