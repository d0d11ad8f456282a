#include "refserver/ServerOptions.h"

#include <CLI/CLI.hpp>

#include "common/Text.h"

namespace teelink {

namespace {

void DefineOptions(CLI::App& app, CServerOptions& options) {
    app.description(
        "The reference update server: answers every request of the update server's\n"
        "script http://127.0.0.1:PORT/r7r8/index.php from a content directory.\n"
        "It listens on the loopback address only and writes one line per request\n"
        "(method, target, status, bytes) to standard output. SIGINT or SIGTERM\n"
        "stops it.");
    app.add_option_function<std::string>(
           "--port",
           [&options](const std::string& value) {
               const auto port = teelink::ParseNumber<int>(value, 0, 65535);
               if (!port) {
                   throw CLI::ValidationError("--port", "takes a number from 0 to 65535");
               }
               options.port = *port;
           },
           "TCP port on 127.0.0.1 (default 8750; 0 takes a free port and prints it)")
        ->type_name("N")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option_function<std::string>(
           "--content",
           [&options](const std::string& value) {
               if (value.empty()) {
                   throw CLI::ValidationError("--content", "needs a directory");
               }
               options.contentDir = value;
           },
           "content directory (default: \"content\" beside the executable); its layout is "
           "in docs/update-server.md")
        ->type_name("DIR")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    // Listed last, after the options it explains.
    app.set_help_flag();
    app.set_help_flag("-h,--help", "this text");
    app.get_formatter()->column_width(20);
}

}  // namespace

bool ParseServerOptions(int argc, const char* const argv[], CServerOptions& options,
                        std::string& error) {
    CLI::App app;
    DefineOptions(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    return true;
}

std::string ServerUsage(const std::string& program) {
    CServerOptions options;
    CLI::App app{"", program};
    DefineOptions(app, options);
    return app.help();
}

}  // namespace teelink
