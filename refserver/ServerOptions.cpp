#include "refserver/ServerOptions.h"

#include <string_view>

#include "refserver/QueryString.h"

bool ParseServerOptions(int argc, const char* const argv[], CServerOptions& options,
                        std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg != "--port" && arg != "--content") {
            error = "unknown option " + std::string(arg);
            return false;
        }
        if (i + 1 >= argc) {
            error = std::string(arg) + " needs a value";
            return false;
        }
        const std::string_view value = argv[++i];
        if (arg == "--port") {
            const auto port = ParseNumber(value, 0, 65535);
            if (!port) {
                error = "--port takes a number from 0 to 65535";
                return false;
            }
            options.port = static_cast<int>(*port);
        } else {
            if (value.empty()) {
                error = "--content needs a directory";
                return false;
            }
            options.contentDir = value;
        }
    }
    return true;
}

std::string ServerUsage(const std::string& program) {
    return "Usage: " + program + R"( [OPTIONS]

The reference update server: answers every request of the update server's
script http://127.0.0.1:PORT/r7r8/index.php from a content directory.
It listens on the loopback address only and writes one line per request
(method, target, status, bytes) to standard output. SIGINT or SIGTERM
stops it.

Options:
  --port N         TCP port on 127.0.0.1 (default 8750; 0 takes a free port
                   and prints it)
  --content DIR    content directory (default: "content" beside the
                   executable); its layout is in docs/update-server.md
  -h, --help       this text
)";
}
