#pragma once

#include <wx/string.h>

class wxWindow;

namespace teelink {

class CBoxQueue;

// The application's title: the caption of every plain message box.
inline constexpr const char* APP_TITLE = "TLR8";

// A modal message box, marked open in `boxes` while it shows. An empty caption
// means the application's title. Goes through wxMessageDialog so that
// modal-dialog hooks (tests) see every box.
int ShowMessageBox(CBoxQueue& boxes, wxWindow* parent, const wxString& text,
                   const wxString& caption, long style);

}  // namespace teelink
