#pragma once

#include <wx/bmpbndl.h>

namespace teelink {

// Pictures of the pages and the application, by their template ids. Each is an
// SVG file under resources/ compiled into the program, so it stays sharp at any
// screen scale and needs no data files at run time.
enum ImageId : int {
    IMG_CONNECTED_JA = 316,
    IMG_CONNECTED_EN = 317,
    IMG_NOT_CONNECTED_JA = 318,
    IMG_NOT_CONNECTED_EN = 319,
    IMG_HEADER_LOGO = 320,
    IMG_ICON_EMPTY = 400,         // 16 x 16, fully transparent
    IMG_ICON_NEEDS_UPDATE = 401,  // 16 x 16, teal down arrow
    IMG_ICON_HOLEVIEW = 402,      // 16 x 16, red flag on a green
    IMG_APP_ICON = 410,           // square, the application's icon
};

// The picture of `id` at its design size (an empty bundle for an unknown id).
wxBitmapBundle ImageBundle(int id);
// Its bitmap for `window`'s scale, or at the design size without a window.
wxBitmap ImageBitmap(int id, const wxWindow* window = nullptr);
// The words a picture shows, for a screen reader ("Not connected", the logo's
// name); empty for a picture without words.
const wchar_t* ImageText(int id);
// The application's icon in the sizes window managers ask for.
wxIconBundle AppIcons();

}  // namespace teelink
