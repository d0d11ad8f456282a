#pragma once

#include <wx/string.h>

class wxWindow;

namespace teelink {

// The About box: "Teelink, Version 1.0" and the tool's version.
void ShowAboutDialog(wxWindow* parent, const wxString& toolVersion);

}  // namespace teelink
