#include <wx/app.h>

#include "app/AssertHandler.h"
#include "app/TeelinkApp.h"

int main(int argc, char** argv) {
    wxSetAssertHandler(LogAssertionToStderr);
    wxApp::SetInstance(new CTeelinkApp());
    return wxEntry(argc, argv);
}
