#include "ui/TextFit.h"

#include <wx/arrstr.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include <algorithm>

namespace teelink {

namespace {

// What a control draws around its text, in pixels of its font: a button's
// face margins, a group box's indent of its caption, a check box's box.
wxSize Chrome(const wxWindow& control) {
    const int em = control.GetCharWidth();
    if (dynamic_cast<const wxButton*>(&control) != nullptr) {
        return {em, 4};
    }
    if (dynamic_cast<const wxStaticBox*>(&control) != nullptr) {
        return {2 * em, 0};
    }
    if (dynamic_cast<const wxCheckBox*>(&control) != nullptr ||
        dynamic_cast<const wxRadioButton*>(&control) != nullptr) {
        return {control.GetCharHeight() + em, 0};
    }
    return {0, 0};
}

bool HasText(const wxWindow& control) {
    return dynamic_cast<const wxStaticText*>(&control) != nullptr ||
           dynamic_cast<const wxButton*>(&control) != nullptr ||
           dynamic_cast<const wxStaticBox*>(&control) != nullptr ||
           dynamic_cast<const wxCheckBox*>(&control) != nullptr ||
           dynamic_cast<const wxRadioButton*>(&control) != nullptr;
}

// Break opportunities: after a blank, and around every CJK character.
bool BreaksAround(wxUniChar c) {
    return c.GetValue() >= 0x2E80;
}

// The lines `text` takes when wrapped at `width` as a static text wraps it:
// at blanks, between CJK characters, and inside a word only when it alone is
// wider than the line.
wxSize WrappedExtent(wxDC& dc, const wxString& text, int width) {
    wxSize extent;
    int lines = 0;
    const int lineHeight = dc.GetCharHeight();
    for (const wxString& paragraph : wxSplit(text, '\n', '\0')) {
        wxString line;
        wxString pending;  // the unit being built: a word with its blank, or one CJK character
        auto place = [&](const wxString& unit) {
            const wxString longer = line + unit;
            if (!line.empty() && dc.GetTextExtent(longer.Strip(wxString::trailing)).x > width) {
                extent.x = std::max(extent.x, dc.GetTextExtent(line.Strip(wxString::trailing)).x);
                ++lines;
                line = unit;
            } else {
                line = longer;
            }
        };
        for (const wxUniChar c : paragraph) {
            if (BreaksAround(c)) {
                if (!pending.empty()) {
                    place(pending);
                    pending.clear();
                }
                place(wxString(c));
                continue;
            }
            pending += c;
            if (c == ' ') {
                place(pending);
                pending.clear();
            }
        }
        if (!pending.empty()) {
            place(pending);
        }
        extent.x = std::max(extent.x, dc.GetTextExtent(line.Strip(wxString::trailing)).x);
        ++lines;
    }
    extent.y = lines * lineHeight;
    return extent;
}

}  // namespace

CTextRoom TextRoom(const wxWindow& control) {
    CTextRoom room;
    const auto* labelled = dynamic_cast<const wxControl*>(&control);
    if (labelled == nullptr || !HasText(control) || labelled->GetLabelText().empty()) {
        return room;
    }
    wxClientDC dc(const_cast<wxWindow*>(&control));
    dc.SetFont(control.GetFont());
    const wxString text = labelled->GetLabelText();
    dc.GetMultiLineTextExtent(text, &room.text.x, &room.text.y);
    const wxSize chrome = Chrome(control);
    room.available = control.GetSize() - chrome;
    // A static text with room for more than one line wraps its text.
    const bool wraps = dynamic_cast<const wxStaticText*>(&control) != nullptr &&
                       room.available.y >= 2 * dc.GetCharHeight();
    if (wraps && room.text.x > room.available.x) {
        room.text = WrappedExtent(dc, text, room.available.x);
    }
    // A group box's caption takes one line whatever the box's height.
    if (dynamic_cast<const wxStaticBox*>(&control) != nullptr) {
        room.available.y = room.text.y;
    }
    return room;
}

void GrowToFitText(wxWindow& control) {
    const CTextRoom room = TextRoom(control);
    if (room.Fits()) {
        return;
    }
    const wxSize size = control.GetSize();
    const wxSize grown(size.x + std::max(0, room.text.x - room.available.x),
                       size.y + std::max(0, room.text.y - room.available.y));
    control.SetSize(grown);
    control.SetMinSize(grown);
}

void SetFittedLabel(wxWindow& control, const wxString& label) {
    control.SetLabel(label);
    GrowToFitText(control);
}

}  // namespace teelink
