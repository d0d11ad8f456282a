#pragma once

#include <atomic>

#include "common/Result.h"

namespace teelink {

class CTeelinkDoc;

enum class StartupOutcome {
    Ready,         // versions and areas are known; the tool may run
    ServerError,   // a start-up request failed: message 17, then close
    ToolOutdated,  // the server announces another tool version: message 18, close
};

struct CStartup {
    StartupOutcome outcome = StartupOutcome::Ready;
    Status request;  // the request that failed, for ServerError
};

// The start-up sequence of both programs, the requests in their order: latest
// versions, the tool's own update check, the area list in the chosen
// language. `stop` (may be null) aborts an open request.
CStartup RunStartupChecks(CTeelinkDoc& doc, int language, const std::atomic<bool>* stop = nullptr);

}  // namespace teelink
