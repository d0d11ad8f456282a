#include "gui/AssertHandler.h"

#include <cstdio>

namespace teelink {

void LogAssertionToStderr(const wxString& file, int line, const wxString& func,
                          const wxString& cond, const wxString& msg) {
    std::fprintf(stderr, "teelink: toolkit assertion \"%s\" failed in %s (%s:%d): %s\n",
                 cond.utf8_string().c_str(), func.utf8_string().c_str(), file.utf8_string().c_str(),
                 line, msg.utf8_string().c_str());
}

}  // namespace teelink
