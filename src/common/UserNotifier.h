#pragma once

#include <string>

namespace teelink {

// How code without windows tells the user something. Device operations, server
// requests and workers show their 8-bit English error texts through this seam;
// the GUI marshals the box to the user-interface thread and blocks the caller
// until it is dismissed, tests record the texts.
class IUserNotifier {
public:
    virtual ~IUserNotifier() = default;

    // A plain message box: OK button, no icon, the application's title as caption.
    // Callable from any thread; returns once the user has dismissed it.
    virtual void ShowPlain(const std::string& text) = 0;
};

}  // namespace teelink
