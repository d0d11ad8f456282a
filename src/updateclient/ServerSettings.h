#pragma once

#include <string>

namespace teelink {

// How requests reach the update server.
enum class ProxyMode {
    System,  // the environment, then the desktop's or Windows' settings
    Direct,  // no proxy, whatever the system says
    Fixed,   // the proxy in `proxyUrl`
};

// Limits of one update-server request: bounds that end a request that cannot
// connect or has stalled, so neither a dead server nor one that trickles a byte
// now and then can hold the tool. The slowest real connection moves far more
// than the lowest speed; a request slower than it for the whole stall time
// fails as a broken connection does. And the way it takes to the server.
struct CServerSettings {
    long connectTimeoutMs = 15000;
    long lowSpeedBytesPerSecond = 512;
    long stallTimeoutSeconds = 30;  // below the lowest speed for this long ends the request
    ProxyMode proxyMode = ProxyMode::System;
    std::string proxyUrl;  // ProxyMode::Fixed: http://[user:password@]host:port
};

}  // namespace teelink
