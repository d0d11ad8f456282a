#pragma once

#include <wx/string.h>

namespace teelink {

// The product's handler of the toolkit's assertions: Debian's wxWidgets keeps
// them on in release builds, and the default handler shows a dialog that can
// end the process. Here an assertion is written to standard error and the
// program goes on.
void LogAssertionToStderr(const wxString& file, int line, const wxString& func,
                          const wxString& cond, const wxString& msg);

}  // namespace teelink
