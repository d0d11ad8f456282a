#pragma once

namespace teelink {

// Limits of one update-server request. The product asks with no time-out of its
// own; these generous guards only end a request that makes no progress at all,
// so a dead server cannot hold a worker forever.
struct CServerSettings {
    long connectTimeoutMs = 30000;
    long stallTimeoutSeconds = 60;  // no byte received for this long ends the request
};

}  // namespace teelink
