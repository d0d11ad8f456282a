#pragma once

// Every page and dialog declares its controls as a table in the order of its
// template: kind, place and size in dialog units, state at creation and the
// message that gives its text. One factory makes them; the window class keeps
// only what it does with them.

#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <span>
#include <string>

#include <wx/gdicmn.h>

#include "BuildConfig.h"
#include "core/MessageIds.h"

class wxWindow;

namespace teelink {

enum class ControlKind { Group, Label, Button, Edit, Choice, Gauge, List, Picture };

// What a control is at creation.
enum ControlFlag : int {
    HIDDEN = 1,
    DISABLED = 2,
    MULTILINE = 4,       // a button whose caption may take two lines
    FAVORITE_ENTRY = 8,  // hidden and disabled unless the build shows the favourites entry
    CENTRED = 16,        // a label's text centred
    NO_HEADER = 32,      // a list without column headers
    DEFAULT_BUTTON = 64,
};

struct CControlSpec {
    int id;
    ControlKind kind;
    int x, y, w, h;  // dialog units
    int flags = 0;
    int message = -1;            // a MessageId: the text, set by ApplyTexts
    const char* text = nullptr;  // a text of the control's own (UTF-8), set at creation
    int image = -1;              // Picture: the ImageId it shows
    // The control whose text names this one's place or purpose for a screen
    // reader (a button's group, a bar's label, an icon's legend).
    int labelledBy = 0;
};

// The controls a table made, by id.
class CControls {
public:
    wxWindow* Get(int id) const;
    template <typename T>
    T* As(int id) const {
        return dynamic_cast<T*>(Get(id));
    }
    void Add(int id, wxWindow* control) { m_byId[id] = control; }

private:
    std::map<int, wxWindow*> m_byId;
};

// Turns a rectangle in dialog units into pixels of the window's font.
using DialogUnits = std::function<wxRect(int x, int y, int w, int h)>;

// Makes the table's controls on `parent`, in table order. Controls marked
// FAVORITE_ENTRY are hidden and disabled unless `showFavourites`.
CControls CreateControls(wxWindow& parent, std::span<const CControlSpec> table,
                         const DialogUnits& du,
                         bool showFavourites = teelink::build::kShowFavourites);

// Gives every control of the table that names a message its text, grown to fit.
// A button's text gets an access key (Alt and the letter, underlined while Alt
// is held): its first Latin letter that no button read before it (from the top,
// left to right) has taken, so "Start", "Start", "Exit" become "&Start",
// "S&tart", "&Exit"; a text
// without a free Latin letter (Japanese, Korean, Chinese) gets none.
void ApplyTexts(const CControls& controls, std::span<const CControlSpec> table,
                const std::function<std::wstring(MessageId)>& text);

// Gives the table's controls their accessible names: the text a control shows,
// then the text of what labels it ("Start, Course Data Update"); a control
// without text (a bar, an icon) by its label alone, a picture by its words. A
// label that names nothing else keeps the toolkit's own name, its text, which
// follows every change of it.
// ApplyTexts calls it; call it again after changing a text of the table.
void ApplyAccessibleNames(const CControls& controls, std::span<const CControlSpec> table);

// Makes Tab go through `ids` in this order (the order they are read on the screen).
void SetTabOrder(const CControls& controls, std::initializer_list<int> ids);

// `text` marked with an access key not in `taken`, which takes it (lower case).
wxString WithAccessKey(const wxString& text, std::set<wxUniChar>& taken);
// `text` as a control's label that shows every "&" of it as it is.
wxString EscapedMnemonics(wxString text);

// A message as a control shows it: "\r\n", a Windows line break, becomes "\n".
wxString Displayed(const std::wstring& text);

// A text as one line, for words read aloud.
wxString OneLine(wxString text);

}  // namespace teelink
