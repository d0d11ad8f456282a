#pragma once

#include "ui/Page.h"

class CFavoriteView : public CPage {
public:
    CFavoriteView(wxWindow* parent, IPageHost& host, int paneId);
};
