#include "gui/AboutDlg.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

namespace teelink {

void ShowAboutDialog(wxWindow* parent, const wxString& toolVersion) {
    wxDialog dialog(parent, wxID_ANY, wxString::FromUTF8("バージョン情報 Teelink"));
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(&dialog, wxID_ANY, "Teelink, Version 1.0"), 0, wxALL, 10);
    sizer->Add(new wxStaticText(&dialog, wxID_ANY, "PC Tool Ver. " + toolVersion), 0,
               wxLEFT | wxRIGHT, 10);
    sizer->Add(new wxButton(&dialog, wxID_OK, "OK"), 0, wxALL | wxALIGN_RIGHT, 10);
    dialog.SetSizerAndFit(sizer);
    dialog.ShowModal();
}

}  // namespace teelink
