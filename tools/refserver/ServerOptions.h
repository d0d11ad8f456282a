#pragma once

#include <string>

namespace teelink {

// The command line of teelink-update-server.
struct CServerOptions {
    int port = 8750;
    std::string contentDir;  // empty: the "content" directory beside the executable
    bool help = false;
};

// Fills `options` from argv; on a bad command line returns false with the reason
// in `error`.
bool ParseServerOptions(int argc, const char* const argv[], CServerOptions& options,
                        std::string& error);

std::string ServerUsage(const std::string& program);

}  // namespace teelink
