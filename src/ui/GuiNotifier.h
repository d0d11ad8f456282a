#pragma once

#include <atomic>

#include "common/UserNotifier.h"

namespace teelink {

class CBoxQueue;

// Shows plain message boxes for code without windows: the job runner shows a
// failure's texts through it on the user-interface thread, where the box is
// shown at once.
class CGuiNotifier : public IUserNotifier {
public:
    explicit CGuiNotifier(CBoxQueue& boxes) : m_boxes(boxes) {}

    void ShowPlain(const std::string& text) override;

    // Makes later boxes return at once: called when the application closes.
    void Shutdown();
    bool IsShutDown() const { return m_shutdown.load(); }

private:
    CBoxQueue& m_boxes;
    std::atomic<bool> m_shutdown{false};
};

}  // namespace teelink
