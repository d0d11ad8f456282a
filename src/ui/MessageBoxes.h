#pragma once

#include <wx/string.h>

class wxWindow;

namespace teelink {

// The application's title: the caption of every plain message box.
inline constexpr const char* APP_TITLE = "TLR8";

// A modal message box. An empty caption means the application's title. Goes
// through wxMessageDialog so that modal-dialog hooks (the box queue, tests)
// see every box.
int ShowMessageBox(wxWindow* parent, const wxString& text, const wxString& caption, long style);

}  // namespace teelink
