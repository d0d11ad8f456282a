#pragma once

#include "app/Page.h"

class CUpdateView : public CPage {
public:
    CUpdateView(wxWindow* parent, int id);
};
