#include "pages/favorites/FavoriteView.h"

CFavoriteView::CFavoriteView(wxWindow* parent, int id) : CPage(parent, id, "Favorite", 251, 301) {
    AddHeaderLogo(157, 38);
}
