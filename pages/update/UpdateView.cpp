#include <wx/button.h>

#include "app/TeelinkApp.h"
#include "pages/update/UpdateView.h"

CUpdateView::CUpdateView(wxWindow* parent, int id) : CPage(parent, id, "Update", 250, 300) {
    AddHeaderLogo(157, 38);
    const wxRect exitRect = Du(198, 268, 45, 25);
    auto* exitButton = new wxButton(this, 1002, App().GetMessageText(20), exitRect.GetPosition(),
                                    exitRect.GetSize());
    exitButton->Bind(wxEVT_BUTTON, [](wxCommandEvent&) { wxGetApp().OnExitButton(); });
}
