#pragma once

namespace teelink {

class CTeelinkDoc;

enum class StartupOutcome {
    Ready,         // versions and areas are known; the tool may run
    ServerError,   // a start-up request failed: message 17, then close
    ToolOutdated,  // the server announces another tool version: message 18, close
};

// The start-up requests in their order: latest versions, the tool's own update
// check, the area list in the chosen language.
StartupOutcome RunStartupChecks(CTeelinkDoc& doc, int language);

}  // namespace teelink
