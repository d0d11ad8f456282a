// teelink-update-server: the reference update server, for the demo, for manual
// testing and for anyone who builds content of their own.
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <memory>

#include "refserver/LogWriter.h"
#include "refserver/ReferenceServer.h"
#include "refserver/ServerOptions.h"

namespace teelink {

namespace {

std::filesystem::path DefaultContentDir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path("content") : exe.parent_path() / "content";
}

}  // namespace

int Main(int argc, char* argv[]) {
    CServerOptions options;
    std::string error;
    if (!ParseServerOptions(argc, argv, options, error)) {
        std::cerr << "teelink-update-server: " << error << "\n(--help lists the options)\n";
        return 2;
    }
    if (options.help) {
        std::cout << ServerUsage("teelink-update-server");
        return 0;
    }

    // A client that goes away mid-answer must not end the server.
    signal(SIGPIPE, SIG_IGN);
    // Stop signals are taken synchronously by this thread only, so the server is
    // always stopped and joined on the way out.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    auto content = std::make_shared<CServerContent>();
    const std::filesystem::path dir = options.contentDir.empty()
                                          ? DefaultContentDir()
                                          : std::filesystem::path(options.contentDir);
    if (!content->Load(dir, error)) {
        std::cerr << "teelink-update-server: " << error << '\n';
        return 1;
    }
    // Everything this program says on standard output goes through one writer
    // that never waits for the reader: a full pipe costs log lines, not answers
    // or the stop.
    CLogWriter log(STDOUT_FILENO);
    for (const std::string& note : content->Notes()) {
        log.Line("note: " + note);
    }

    CReferenceServer server(content, [&log](const std::string& line) { log.Line(line); });
    if (!server.Start(options.port, error)) {
        std::cerr << "teelink-update-server: " << error << '\n';
        return 1;
    }
    log.Line("serving " + dir.string() + " at " + server.ScriptUrl());

    int number = 0;
    sigwait(&signals, &number);
    log.Line("stopping on signal " + std::to_string(number));
    server.Stop();
    return 0;
}

}  // namespace teelink

int main(int argc, char* argv[]) {
    return teelink::Main(argc, argv);
}
