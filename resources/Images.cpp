#include "resources/Images.h"

#include <wx/iconbndl.h>
#include <wx/window.h>

#include "resources/EmbeddedSvgs.h"

namespace teelink {

namespace {

struct CPicture {
    int id;
    const unsigned char* svg;
    size_t length;
    wxSize size;
};

#define TEELINK_PICTURE(id, data, w, h)                                 \
    CPicture {                                                          \
        id, teelink::svg::data, sizeof teelink::svg::data, wxSize(w, h) \
    }

// The pictures with text carry it as outlines: the toolkit's SVG renderer draws
// no text (resources/images/outlined/ is made from resources/images/ by
// scripts/svg-text-to-paths.sh).
const CPicture kPictures[] = {
    TEELINK_PICTURE(IMG_CONNECTED_JA, k316ConnectedJa, 64, 64),
    TEELINK_PICTURE(IMG_CONNECTED_EN, k317ConnectedEn, 64, 64),
    TEELINK_PICTURE(IMG_NOT_CONNECTED_JA, k318NotConnectedJa, 64, 64),
    TEELINK_PICTURE(IMG_NOT_CONNECTED_EN, k319NotConnectedEn, 64, 64),
    TEELINK_PICTURE(IMG_HEADER_LOGO, k320HeaderLogo, 275, 57),
    TEELINK_PICTURE(IMG_ICON_EMPTY, kIconEmpty, 16, 16),
    TEELINK_PICTURE(IMG_ICON_NEEDS_UPDATE, kIconNeedsUpdate, 16, 16),
    TEELINK_PICTURE(IMG_ICON_HOLEVIEW, kIconHoleview, 16, 16),
    TEELINK_PICTURE(IMG_APP_ICON, kTeelink, 256, 256),
};

#undef TEELINK_PICTURE

}  // namespace

const wchar_t* ImageText(int id) {
    switch (id) {
        case IMG_CONNECTED_JA:
            return L"接続";
        case IMG_CONNECTED_EN:
            return L"Connected";
        case IMG_NOT_CONNECTED_JA:
            return L"未接続";
        case IMG_NOT_CONNECTED_EN:
            return L"Not connected";
        case IMG_HEADER_LOGO:
            return L"Zorvik GOLF GPS";
        default:
            return L"";
    }
}

wxBitmapBundle ImageBundle(int id) {
    for (const CPicture& picture : kPictures) {
        if (picture.id == id) {
            return wxBitmapBundle::FromSVG(picture.svg, picture.length, picture.size);
        }
    }
    return {};
}

wxBitmap ImageBitmap(int id, const wxWindow* window) {
    const wxBitmapBundle bundle = ImageBundle(id);
    if (window != nullptr) {
        return bundle.GetBitmapFor(window);
    }
    return bundle.GetBitmap(bundle.GetDefaultSize());
}

wxIconBundle AppIcons() {
    const wxBitmapBundle bundle = ImageBundle(IMG_APP_ICON);
    wxIconBundle icons;
    for (int size : {16, 32, 48, 256}) {
        icons.AddIcon(bundle.GetIcon(wxSize(size, size)));
    }
    return icons;
}

}  // namespace teelink
