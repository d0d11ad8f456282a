#pragma once

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
