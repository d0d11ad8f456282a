#pragma once

#include "app/Page.h"

class CFavoriteView : public CPage {
public:
    CFavoriteView(wxWindow* parent, int id);
};
