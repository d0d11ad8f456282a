#pragma once

// What a screen reader says for a control: its accessible name, set through
// the platform's own accessibility interface (ATK on GTK, wxAccessible over
// MSAA on Windows), so that a control without text of its own (a picture, a
// bar) is named, and one whose text is ambiguous ("Start") says what it does.

#include <wx/string.h>

class wxWindow;

namespace teelink {

void SetAccessibleName(wxWindow& window, const wxString& name);
// The name as the platform's accessibility interface gives it (empty where
// the platform has none).
wxString AccessibleName(const wxWindow& window);
// Tells the screen reader `text` at once, wherever the keyboard is: a change
// nobody asked for, such as a device recognised or gone. On GTK an ATK
// announcement (ATK 2.46 and later; an older ATK has none, and only the name
// change is seen); on Windows an alert from `window`, whose name says `text`.
void Announce(wxWindow& window, const wxString& text);

#ifdef __WXGTK__
// The widget whose accessible object stands for `window`: a list's tree view,
// the window's own widget otherwise.
GtkWidget* AccessibleWidget(const wxWindow& window);
#endif

}  // namespace teelink
