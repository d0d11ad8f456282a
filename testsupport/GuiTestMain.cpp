// main() of every GUI test binary: listing tests needs no display (so test
// discovery works anywhere); running them starts the application instance once.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>

#include "gui/TeelinkApp.h"

namespace teelink {

namespace {
// A failed wx assertion fails the test instead of opening a dialog that nobody
// answers.
void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
    ADD_FAILURE_AT(file.utf8_string().c_str(), line)
        << "wx assertion " << cond.utf8_string() << " in " << func.utf8_string() << ": "
        << msg.utf8_string();
}
}  // namespace

int Main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    wxSetAssertHandler(FailOnAssert);
    wxApp::SetInstance(new CTeelinkApp());
    if (!wxEntryStart(argc, argv)) {
        std::fprintf(stderr, "GUI tests need a display (run them under xvfb-run)\n");
        return 1;
    }
    const int rc = RUN_ALL_TESTS();
    wxEntryCleanup();
    return rc;
}

}  // namespace teelink

int main(int argc, char** argv) {
    return teelink::Main(argc, argv);
}
