#pragma once

#include "app/Page.h"

// The main page: language choice at start, server checks, device polling,
// the Start buttons and the website links.
class CTeelinkView : public CPage {
public:
    CTeelinkView(wxWindow* parent, int id);

    void OnInitialUpdate() override;
    void OnShowPage(bool shown) override;

    // Runs the language dialog and stores the choice, whatever ended the dialog.
    void RunLanguageDialog();
};
