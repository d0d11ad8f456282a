#pragma once

#include <atomic>
#include <optional>

#include "core/Worker.h"
#include "device/Device.h"
#include "updateclient/ServerSettings.h"

namespace teelink {

// What a job needs from the one who starts it, in one value built by the job
// runner: the device it works on, the server's limits, and the stop source
// that asks it to stop. A job shows nothing and touches no document: it
// returns its result, which the runner hands to the owner's thread.
struct CJobContext {
    CDevice device;
    CServerSettings server;
    const CStopSource& stopSource;
    // The flag every wait polls (the stop source's own).
    const std::atomic<bool>& stop = stopSource.Flag();

    bool Stopping() const { return stopSource.Requested(); }
    // Stopped for the owner's stop, Cancelled for the user's cancel.
    std::optional<CFailure> Interruption() const { return stopSource.Interruption(); }
};

}  // namespace teelink
