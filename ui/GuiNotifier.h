#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "common/UserNotifier.h"

namespace teelink {

class CBoxQueue;

// Shows plain message boxes for code without windows. On the user-interface
// thread the box is shown at once; a worker thread hands the box to the
// user-interface thread, where it waits for any box already open, and the
// worker waits until the user has dismissed it.
class CGuiNotifier : public IUserNotifier {
public:
    explicit CGuiNotifier(CBoxQueue& boxes) : m_boxes(boxes) {}

    void ShowPlain(const std::string& text) override;

    // Releases every worker waiting for a box and makes later boxes return at once:
    // called when the application closes, before the workers are joined.
    void Shutdown();
    bool IsShutDown() const { return m_shutdown.load(); }

private:
    CBoxQueue& m_boxes;
    std::atomic<bool> m_shutdown{false};
    std::mutex m_mutex;
    std::condition_variable m_dismissed;
};

}  // namespace teelink
