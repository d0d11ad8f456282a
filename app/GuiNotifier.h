#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "app/UserNotifier.h"

// Shows plain message boxes for code without windows. On the user-interface thread
// the box is shown at once; a worker thread hands the box to the user-interface
// thread and waits until it has been dismissed, as the workers' boxes hold them.
class CGuiNotifier : public IUserNotifier {
public:
    void ShowPlain(const std::string& text) override;

    // Releases every worker waiting for a box and makes later boxes return at once:
    // called when the application closes, before the workers are joined.
    void Shutdown();
    bool IsShutDown() const { return m_shutdown.load(); }

private:
    std::atomic<bool> m_shutdown{false};
    std::mutex m_mutex;
    std::condition_variable m_dismissed;
};
