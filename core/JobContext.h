#pragma once

#include <atomic>

#include "common/UserNotifier.h"
#include "device/Device.h"
#include "server/ServerSettings.h"

namespace teelink {

// What a job needs from the one who starts it, in one value: the device it works
// on, where the end of the job shows the texts of a failure, the server's
// limits, and the flag that asks it to stop. The flag and the notifier outlive
// the job: they belong to the worker and the application.
struct CJobContext {
    CDevice device;
    IUserNotifier& notifier;
    CServerSettings server;
    const std::atomic<bool>& stop;

    bool Stopping() const { return stop.load(); }
};

}  // namespace teelink
