#pragma once

// The columns of the tool's lists. A list is a wxDataViewListCtrl: a tree view
// of the toolkit on GTK, whose rows, cells and headers a screen reader reads.
// A mark column shows a picture where a row has the mark and reads the mark's
// words aloud there; a row without it shows and reads nothing.

#include <wx/dataview.h>

namespace teelink {

// The width of a list column that shows only a 16-pixel picture. The GTK tree
// view pads a cell on both sides, so a column of 16 or 20 pixels, as the page
// templates give it, would cut the picture off there.
int MarkColumnWidth(int templateWidth);

wxDataViewColumn* AppendTextColumn(wxDataViewListCtrl& list, const wxString& title, int width,
                                   wxAlignment align = wxALIGN_LEFT);

// A column of marks (values of type bool): picture `markImageId` where the
// value is true, read aloud as `markText`.
wxDataViewColumn* AppendMarkColumn(wxDataViewListCtrl& list, const wxString& title, int width,
                                   wxAlignment align, int markImageId, const wxString& markText);

// Shows `column` at `width` pixels, or hides it when `width` is 0: a column
// that shows nothing has nothing to read either.
void ShowColumn(wxDataViewColumn& column, int width);

// Puts the keyboard on `row`, selected and scrolled into view.
void FocusRow(wxDataViewListCtrl& list, int row);

// Whether the list has the keyboard (on Windows its inner window has it).
bool HasKeyboard(wxDataViewListCtrl& list);

// The row of an activation event, or -1.
int ActivatedRow(const wxDataViewListCtrl& list, const wxDataViewEvent& event);

}  // namespace teelink
