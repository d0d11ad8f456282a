#pragma once

#include <wx/imaglist.h>
#include <wx/listctrl.h>

#include "resources/Images.h"

namespace teelink {

// The width of a list column that shows only a 16-pixel image. The generic
// list control of GTK pads an image on both sides, so a column of 16 or 20
// pixels, as the page templates give it, would cut the image off there.
inline int MarkColumnWidth(int templateWidth) {
#ifdef __WXGTK__
    constexpr int kImageWithPadding = 16 + 2 * 4;
    return templateWidth < kImageWithPadding ? kImageWithPadding : templateWidth;
#else
    return templateWidth;
#endif
}

// Gives `list` its small images: 0 the empty icon, 1 the picture `markImageId`.
inline void AttachMarkImages(wxListCtrl& list, int markImageId) {
    auto* images = new wxImageList(16, 16, true, 2);
    images->Add(ImageBitmap(IMG_ICON_EMPTY));
    images->Add(ImageBitmap(markImageId));
    list.AssignImageList(images, wxIMAGE_LIST_SMALL);
}

}  // namespace teelink
