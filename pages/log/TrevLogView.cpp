#include <wx/button.h>

#include "app/TeelinkApp.h"
#include "pages/log/TrevLogView.h"

CTrevLogView::CTrevLogView(wxWindow* parent, int id) : CPage(parent, id, "TrevLog", 250, 300) {
    AddHeaderLogo(157, 38);
    const wxRect exitRect = Du(198, 268, 45, 25);
    auto* exitButton = new wxButton(this, 1001, App().GetMessageText(20), exitRect.GetPosition(),
                                    exitRect.GetSize());
    exitButton->Bind(wxEVT_BUTTON, [](wxCommandEvent&) { wxGetApp().OnExitButton(); });
}
