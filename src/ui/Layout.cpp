#include "ui/Layout.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dataview.h>
#include <wx/gauge.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "BuildConfig.h"
#include "resources/Images.h"
#include "ui/Accessible.h"
#include "ui/TextFit.h"

namespace teelink {

wxWindow* CControls::Get(int id) const {
    const auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : it->second;
}

wxString Displayed(const std::wstring& text) {
    wxString s(text);
    s.Replace("\r\n", "\n");
    return s;
}

namespace {

wxWindow* Make(wxWindow& parent, const CControlSpec& c, const wxRect& r) {
    const wxString text = c.text != nullptr ? wxString::FromUTF8(c.text) : wxString();
    switch (c.kind) {
        case ControlKind::Group:
            return new wxStaticBox(&parent, c.id, text, r.GetPosition(), r.GetSize());
        case ControlKind::Label:
            return new wxStaticText(
                &parent, c.id, text, r.GetPosition(), r.GetSize(),
                wxST_NO_AUTORESIZE | ((c.flags & CENTRED) != 0 ? wxALIGN_CENTRE_HORIZONTAL : 0));
        case ControlKind::Button: {
            auto* button = new wxButton(&parent, c.id, text, r.GetPosition(), r.GetSize(),
                                        (c.flags & MULTILINE) != 0 ? wxBU_EXACTFIT : 0);
            if ((c.flags & DEFAULT_BUTTON) != 0) {
                button->SetDefault();
            }
            return button;
        }
        case ControlKind::Edit:
            return new wxTextCtrl(&parent, c.id, text, r.GetPosition(), r.GetSize(),
                                  wxBORDER_SIMPLE);
        case ControlKind::Choice:
            return new wxChoice(&parent, c.id, r.GetPosition(), r.GetSize());
        case ControlKind::Gauge:
            return new wxGauge(&parent, c.id, 1000, r.GetPosition(), r.GetSize());
        case ControlKind::List:
            // The toolkit's own list (a tree view on GTK), whose rows and
            // cells a screen reader reads; its columns are the window's.
            return new wxDataViewListCtrl(
                &parent, c.id, r.GetPosition(), r.GetSize(),
                wxDV_SINGLE | wxBORDER_SUNKEN | ((c.flags & NO_HEADER) != 0 ? wxDV_NO_HEADER : 0));
        case ControlKind::Picture:
            // A picture takes the bitmap's own size where the template gives none.
            return new wxStaticBitmap(&parent, c.id, ImageBundle(c.image), r.GetPosition(),
                                      c.w == 0 && c.h == 0 ? wxDefaultSize : r.GetSize(),
                                      wxALIGN_CENTRE);
    }
    return nullptr;
}

}  // namespace

CControls CreateControls(wxWindow& parent, std::span<const CControlSpec> table,
                         const DialogUnits& du, bool showFavourites) {
    CControls controls;
    for (const CControlSpec& c : table) {
        wxWindow* control = Make(parent, c, du(c.x, c.y, c.w, c.h));
        const bool favoriteHidden = (c.flags & FAVORITE_ENTRY) != 0 && !showFavourites;
        if ((c.flags & HIDDEN) != 0 || favoriteHidden) {
            control->Hide();
        }
        if ((c.flags & DISABLED) != 0 || favoriteHidden) {
            control->Disable();
        }
        if (c.text != nullptr) {
            GrowToFitText(*control);  // a text of its own is there from the start
        }
        // On a page's fixed white, text takes a fixed dark colour too, so that a
        // high-contrast theme's light text never stands on it.
        if ((c.kind == ControlKind::Label || c.kind == ControlKind::Group) && parent.UseBgCol()) {
            control->SetForegroundColour(*wxBLACK);
        }
        controls.Add(c.id, control);
    }
    return controls;
}

wxString WithAccessKey(const wxString& text, std::set<wxUniChar>& taken) {
    wxString marked = EscapedMnemonics(text);
    for (size_t i = 0; i < marked.length(); ++i) {
        const wxUniChar c = marked[i];
        const wxUniChar lower = wxTolower(c);
        if (c.IsAscii() && wxIsalpha(c) && taken.insert(lower).second) {
            return marked.insert(i, "&");
        }
    }
    return marked;
}

wxString EscapedMnemonics(wxString text) {
    text.Replace("&", "&&");
    return text;
}

namespace {

// The buttons of a table in the order they are read, top to bottom and left to
// right, which is the order they take their access keys in.
std::vector<const CControlSpec*> ButtonsAsRead(std::span<const CControlSpec> table) {
    std::vector<const CControlSpec*> buttons;
    for (const CControlSpec& c : table) {
        if (c.kind == ControlKind::Button && c.message >= 0) {
            buttons.push_back(&c);
        }
    }
    std::stable_sort(buttons.begin(), buttons.end(), [](const auto* a, const auto* b) {
        return std::pair(a->y, a->x) < std::pair(b->y, b->x);
    });
    return buttons;
}

}  // namespace

void ApplyTexts(const CControls& controls, std::span<const CControlSpec> table,
                const std::function<std::wstring(MessageId)>& text) {
    const auto shown = [&](const CControlSpec& c) {
        return Displayed(text(static_cast<MessageId>(c.message)));
    };
    for (const CControlSpec& c : table) {
        wxWindow* control = c.message >= 0 ? controls.Get(c.id) : nullptr;
        if (control != nullptr && c.kind != ControlKind::Button) {
            SetFittedLabel(*control, EscapedMnemonics(shown(c)));
        }
    }
    std::set<wxUniChar> taken;
    for (const CControlSpec* c : ButtonsAsRead(table)) {
        if (wxWindow* control = controls.Get(c->id)) {
            SetFittedLabel(*control, WithAccessKey(shown(*c), taken));
        }
    }
    ApplyAccessibleNames(controls, table);
}

wxString OneLine(wxString text) {
    text.Replace("\n", " ");
    return text.Trim().Trim(false);
}

void ApplyAccessibleNames(const CControls& controls, std::span<const CControlSpec> table) {
    for (const CControlSpec& c : table) {
        wxWindow* control = controls.Get(c.id);
        // A label that stands alone reads what it shows, and keeps doing so as
        // the page changes its text (a status, a notice): no name is fixed on it.
        if (control == nullptr || (c.kind == ControlKind::Label && c.labelledBy == 0)) {
            continue;
        }
        wxString own = c.kind == ControlKind::Picture ? wxString(ImageText(c.image))
                       : c.kind == ControlKind::Gauge || c.kind == ControlKind::List
                           ? wxString()
                           : OneLine(wxControl::RemoveMnemonics(control->GetLabel()));
        const wxWindow* label = c.labelledBy != 0 ? controls.Get(c.labelledBy) : nullptr;
        const wxString context =
            label == nullptr ? wxString() : OneLine(wxControl::RemoveMnemonics(label->GetLabel()));
        if (!own.empty() && !context.empty()) {
            own += ", " + context;
        }
        SetAccessibleName(*control, own.empty() ? context : own);
    }
}

void SetTabOrder(const CControls& controls, std::initializer_list<int> ids) {
    wxWindow* previous = nullptr;
    for (const int id : ids) {
        wxWindow* control = controls.Get(id);
        if (control != nullptr && previous != nullptr) {
            control->MoveAfterInTabOrder(previous);
        }
        previous = control != nullptr ? control : previous;
    }
}

}  // namespace teelink
