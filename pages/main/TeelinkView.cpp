#include "pages/main/TeelinkView.h"

#include <wx/button.h>

#include "app/LangDlg.h"
#include "app/TeelinkApp.h"

CTeelinkView::CTeelinkView(wxWindow* parent, int id) : CPage(parent, id, "Main", 250, 295) {
    AddHeaderLogo(157, 43);
    const wxRect exitRect = Du(198, 263, 45, 25);
    auto* exitButton = new wxButton(this, 1010, App().GetMessageText(20), exitRect.GetPosition(),
                                    exitRect.GetSize());
    exitButton->Bind(wxEVT_BUTTON, [](wxCommandEvent&) { wxGetApp().OnExitButton(); });
}

void CTeelinkView::OnInitialUpdate() { RunLanguageDialog(); }

void CTeelinkView::RunLanguageDialog() {
    CLangDlg dialog(GetParent());
    dialog.ShowModal();
    App().SetLanguage(dialog.m_nSelLanguage);
}

void CTeelinkView::OnShowPage(bool /*shown*/) {}
