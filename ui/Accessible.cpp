#include "ui/Accessible.h"

#include <wx/window.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif
#if wxUSE_ACCESSIBILITY
#include <wx/access.h>
#endif

namespace teelink {

#if defined(__WXGTK__)

namespace {

AtkObject* AccessibleOf(const wxWindow& window) {
    GtkWidget* widget = window.GetHandle();
    return widget == nullptr ? nullptr : gtk_widget_get_accessible(widget);
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

#elif wxUSE_ACCESSIBILITY

namespace {

// The window's own accessible object with a name of ours; everything else is
// the native control's.
class CNamedAccessible : public wxWindowAccessible {
public:
    CNamedAccessible(wxWindow* window, const wxString& name)
        : wxWindowAccessible(window), m_name(name) {}
    void Rename(const wxString& name) { m_name = name; }
    wxAccStatus GetName(int childId, wxString* name) override {
        if (childId != wxACC_SELF) {
            return wxWindowAccessible::GetName(childId, name);
        }
        *name = m_name;
        return wxACC_OK;
    }

private:
    wxString m_name;
};

}  // namespace

void SetAccessibleName(wxWindow& window, const wxString& name) {
    if (auto* named = dynamic_cast<CNamedAccessible*>(window.GetAccessible())) {
        named->Rename(name);
        wxAccessible::NotifyEvent(wxACC_EVENT_OBJECT_NAMECHANGE, &window, wxOBJID_CLIENT,
                                  wxACC_SELF);
        return;
    }
    window.SetAccessible(new CNamedAccessible(&window, name));
}

wxString AccessibleName(const wxWindow& window) {
    wxString name;
    if (auto* accessible = const_cast<wxWindow&>(window).GetAccessible()) {
        accessible->GetName(wxACC_SELF, &name);
    }
    return name;
}

#else

void SetAccessibleName(wxWindow&, const wxString&) {}
wxString AccessibleName(const wxWindow&) {
    return {};
}

#endif

}  // namespace teelink
