#include <wx/app.h>

#include "gui/AssertHandler.h"
#include "gui/TeelinkApp.h"

namespace teelink {

int Main(int argc, char** argv) {
    wxSetAssertHandler(LogAssertionToStderr);
    wxApp::SetInstance(new CTeelinkApp());
    return wxEntry(argc, argv);
}

}  // namespace teelink

int main(int argc, char** argv) {
    return teelink::Main(argc, argv);
}
