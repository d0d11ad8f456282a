#pragma once

namespace teelink {

// Limits of one update-server request: bounds that end a request that cannot
// connect or has stalled, so neither a dead server nor one that trickles a byte
// now and then can hold the tool. The slowest real connection moves far more
// than the lowest speed; a request slower than it for the whole stall time
// fails as a broken connection does.
struct CServerSettings {
    long connectTimeoutMs = 15000;
    long lowSpeedBytesPerSecond = 512;
    long stallTimeoutSeconds = 30;  // below the lowest speed for this long ends the request
};

}  // namespace teelink
