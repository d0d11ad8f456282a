#pragma once

#include "app/Page.h"

class CTrevLogView : public CPage {
public:
    CTrevLogView(wxWindow* parent, int id);
};
