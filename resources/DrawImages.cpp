// teelink-draw-images DIR: writes the pages' pictures as PNG files into DIR.
#include <wx/app.h>
#include <wx/image.h>

#include <cstdio>

#include "resources/Images.h"

namespace teelink {

class CDrawApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

int Main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: teelink-draw-images DIR\n");
        return 2;
    }
    wxApp::SetInstance(new CDrawApp());
    if (!wxEntryStart(argc, argv)) {
        std::fprintf(stderr, "teelink-draw-images: needs a display\n");
        return 1;
    }
    wxInitAllImageHandlers();
    const wxString dir = wxString::FromUTF8(argv[1]);
    struct Item {
        int id;
        const char* name;
    };
    int rc = 0;
    for (Item item :
         {Item{IMG_CONNECTED_JA, "316-connected-ja"}, Item{IMG_CONNECTED_EN, "317-connected-en"},
          Item{IMG_NOT_CONNECTED_JA, "318-not-connected-ja"},
          Item{IMG_NOT_CONNECTED_EN, "319-not-connected-en"},
          Item{IMG_HEADER_LOGO, "320-header-logo"}}) {
        const wxString path = dir + "/" + item.name + ".png";
        if (!ImageBitmap(item.id).ConvertToImage().SaveFile(path, wxBITMAP_TYPE_PNG)) {
            rc = 1;
        }
    }
    wxEntryCleanup();
    return rc;
}

}  // namespace teelink

int main(int argc, char** argv) {
    return teelink::Main(argc, argv);
}
