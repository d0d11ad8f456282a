#pragma once

// Texts that fit their controls. The pages place controls at the template's
// sizes in dialog units, which follow the page font; a translation, a system
// font or a font fallback for CJK glyphs can still need more room than the
// template gives. A control then grows (never shrinks) to take its text whole.

#include <wx/gdicmn.h>
#include <wx/string.h>

class wxWindow;

namespace teelink {

// The room `control`'s text takes in its own font, every line of it, and the
// room the control has for it; zero sizes for a control without a text.
struct CTextRoom {
    wxSize text;
    wxSize available;
    bool Fits() const { return text.x <= available.x && text.y <= available.y; }
};
CTextRoom TextRoom(const wxWindow& control);

// Grows `control` until its text fits.
void GrowToFitText(wxWindow& control);

// Sets the label and grows the control to take it.
void SetFittedLabel(wxWindow& control, const wxString& label);

}  // namespace teelink
