#include "ui/Accessible.h"

#include <wx/dataview.h>
#include <wx/window.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif
#if wxUSE_ACCESSIBILITY
#include <wx/access.h>
#endif

namespace teelink {

#if defined(__WXGTK__)

GtkWidget* AccessibleWidget(const wxWindow& window) {
    // A list's handle is the scrolled window around its tree view; the screen
    // reader meets the tree view, so the name belongs there.
    if (const auto* list = dynamic_cast<const wxDataViewCtrl*>(&window)) {
        return const_cast<wxDataViewCtrl*>(list)->GtkGetTreeView();
    }
    return window.GetHandle();
}

namespace {

AtkObject* AccessibleOf(const wxWindow& window) {
    return AccessibleWidget(window) == nullptr
               ? nullptr
               : gtk_widget_get_accessible(AccessibleWidget(window));
}

}  // namespace

void SetAccessibleName(wxWindow& window, const wxString& name) {
    if (AtkObject* object = AccessibleOf(window)) {
        atk_object_set_name(object, name.utf8_str());
    }
}

wxString AccessibleName(const wxWindow& window) {
    AtkObject* object = AccessibleOf(window);
    const char* name = object == nullptr ? nullptr : atk_object_get_name(object);
    return name == nullptr ? wxString() : wxString::FromUTF8(name);
}

void Announce(wxWindow& window, const wxString& text) {
    AtkObject* object = AccessibleOf(window);
    if (object != nullptr && g_signal_lookup("announcement", ATK_TYPE_OBJECT) != 0) {
        g_signal_emit_by_name(object, "announcement", static_cast<const char*>(text.utf8_str()));
    }
}

#elif wxUSE_ACCESSIBILITY

namespace {

// A name of ours over an accessible object of the toolkit's.
class CAccessibleName {
public:
    virtual ~CAccessibleName() = default;
    void Rename(const wxString& name) { m_name = name; }

protected:
    wxString m_name;
};

// The window's own accessible object (a list's keeps its rows and cells) with
// our name; everything else is the toolkit's.
template <typename Base, typename Window>
class CNamedAccessible : public Base, public CAccessibleName {
public:
    CNamedAccessible(Window* window, const wxString& name) : Base(window) { Rename(name); }
    wxAccStatus GetName(int childId, wxString* name) override {
        if (childId != wxACC_SELF) {
            return Base::GetName(childId, name);
        }
        *name = m_name;
        return wxACC_OK;
    }
};

wxAccessible* NamedAccessible(wxWindow& window, const wxString& name) {
#ifdef wxHAS_GENERIC_DATAVIEWCTRL
    if (auto* list = dynamic_cast<wxDataViewCtrl*>(&window)) {
        return new CNamedAccessible<wxDataViewCtrlAccessible, wxDataViewCtrl>(list, name);
    }
#endif
    return new CNamedAccessible<wxWindowAccessible, wxWindow>(&window, name);
}

}  // namespace

void SetAccessibleName(wxWindow& window, const wxString& name) {
    if (auto* named = dynamic_cast<CAccessibleName*>(window.GetAccessible())) {
        named->Rename(name);
        wxAccessible::NotifyEvent(wxACC_EVENT_OBJECT_NAMECHANGE, &window, wxOBJID_CLIENT,
                                  wxACC_SELF);
        return;
    }
    window.SetAccessible(NamedAccessible(window, name));
}

wxString AccessibleName(const wxWindow& window) {
    wxString name;
    if (auto* accessible = const_cast<wxWindow&>(window).GetAccessible()) {
        accessible->GetName(wxACC_SELF, &name);
    }
    return name;
}

void Announce(wxWindow& window, const wxString& /*text: the window's name by now*/) {
    wxAccessible::NotifyEvent(wxACC_EVENT_SYSTEM_ALERT, &window, wxOBJID_CLIENT, wxACC_SELF);
}

#else

void SetAccessibleName(wxWindow&, const wxString&) {}
wxString AccessibleName(const wxWindow&) {
    return {};
}
void Announce(wxWindow&, const wxString&) {}

#endif

}  // namespace teelink
