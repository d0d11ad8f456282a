#include "pages/favorites/FavoriteView.h"

CFavoriteView::CFavoriteView(wxWindow* parent, IPageHost& host, int paneId)
    : CPage(parent, host, paneId, "Favorite", 251, 301) {
    AddHeaderLogo(157, 38);
}
