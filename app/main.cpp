#include <wx/app.h>

#include "app/AssertHandler.h"
#include "app/TeelinkApp.h"

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
