#include <wx/app.h>

#include "app/TeelinkApp.h"

int main(int argc, char** argv) {
    wxApp::SetInstance(new CTeelinkApp());
    return wxEntry(argc, argv);
}
