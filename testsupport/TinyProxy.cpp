#include "testsupport/TinyProxy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "device/LoopbackSocket.h"
#include "testsupport/TestHttpServer.h"

namespace teelink {

namespace {

bool Accepts(int port) {
    loopback::Socket socket = loopback::Connect(static_cast<uint16_t>(port), 0);
    const bool accepted = socket != loopback::kNoSocket;
    loopback::Close(socket);
    return accepted;
}

}  // namespace

CTinyProxy::CTinyProxy(bool refuseUs) {
    // Run as root, tinyproxy drops to nobody, who must write its log here.
    ::chmod(m_dir.Path().c_str(), 0777);
    const auto conf = m_dir.Path() / "tinyproxy.conf";
    for (int attempt = 0; attempt < 5 && !m_ready; ++attempt) {
        m_port = UnusedPort();
        std::ofstream(conf) << (::geteuid() == 0 ? "User nobody\nGroup nogroup\n" : "") << "Port "
                            << m_port << "\nListen 127.0.0.1\nTimeout 30\n"
                            << "LogFile \"" << (m_dir.Path() / "tinyproxy.log").string() << "\"\n"
                            << "LogLevel Connect\nMaxClients 20\n"
                            << "Allow " << (refuseUs ? "192.0.2.1" : "127.0.0.1") << "\n";
        m_process = std::make_unique<CChildProcess>(
            std::vector<std::string>{"/usr/bin/tinyproxy", "-d", "-c", conf.string()});
        for (int i = 0; i < 100 && !m_ready; ++i) {
            m_ready = Accepts(m_port);
            if (!m_ready) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    }
}

CTinyProxy::~CTinyProxy() {
    m_process.reset();  // killed
}

std::vector<std::string> CTinyProxy::Requests() const {
    std::ifstream log(m_dir.Path() / "tinyproxy.log");
    std::vector<std::string> requests;
    std::string line;
    while (std::getline(log, line)) {
        const size_t at = line.find("): GET ");
        if (line.find("Request (file descriptor") != std::string::npos && at != std::string::npos) {
            std::istringstream words(line.substr(at + 7));
            std::string url;
            words >> url;
            requests.push_back(url);
        }
    }
    return requests;
}

}  // namespace teelink
