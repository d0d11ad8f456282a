#include "refserver/ReferenceServer.h"

#include <fcntl.h>
#include <httplib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

namespace teelink {

namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr size_t kPackageChunk = 64 * 1024;

// One package answer being sent: the header, then the archive read piece by
// piece from the file, so a large package never sits in memory whole.
class CPackageStream {
public:
    ~CPackageStream() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    // Opens the archive; false when it cannot be read or does not fit the
    // header's 32-bit size.
    bool Open(const std::filesystem::path& path, std::string& reason) {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (m_fd < 0 || ::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            reason = "package cannot be read";
            return false;
        }
        if (static_cast<uint64_t>(info.st_size) > UINT32_MAX) {
            reason = "package larger than 4 GiB";
            return false;
        }
        m_header = PackageHeader(static_cast<uint32_t>(info.st_size));
        m_size = m_header.size() + static_cast<size_t>(info.st_size);
        return true;
    }

    size_t Size() const { return m_size; }

    bool Provide(size_t offset, size_t length, httplib::DataSink& sink) {
        if (offset < m_header.size()) {
            const size_t n = std::min(length, m_header.size() - offset);
            return sink.write(m_header.data() + offset, n);
        }
        m_buffer.resize(kPackageChunk);
        const size_t want = std::min(length, m_buffer.size());
        const ssize_t got =
            ::pread(m_fd, m_buffer.data(), want, static_cast<off_t>(offset - m_header.size()));
        // A file cut short while it is sent ends the connection early, so the
        // client sees a short body rather than made-up bytes.
        if (got <= 0) {
            return false;
        }
        return sink.write(m_buffer.data(), static_cast<size_t>(got));
    }

private:
    int m_fd = -1;
    std::string m_header;
    size_t m_size = 0;
    std::vector<char> m_buffer;
};

void Refuse(httplib::Response& res, int status, const std::string& reason) {
    res.status = status;
    res.set_content("teelink-update-server: " + reason + "\n", "text/plain");
}

void Serve(const CServerContent& content, const httplib::Request& req, httplib::Response& res) {
    // The raw query: values are checked as the tool sent them, not as the
    // HTTP library would decode and regroup them.
    const size_t mark = req.target.find('?');
    const std::string query = mark == std::string::npos ? "" : req.target.substr(mark + 1);
    CServedAnswer answer = content.Answer(query);
    if (!answer.IsPackage()) {
        res.status = answer.status;
        res.set_content(answer.body,
                        answer.status == 200 ? "application/octet-stream" : "text/plain");
        return;
    }
    auto stream = std::make_shared<CPackageStream>();
    std::string reason;
    if (!stream->Open(answer.packagePath, reason)) {
        Refuse(res, 404, reason);
        return;
    }
    res.status = 200;
    res.set_content_provider(stream->Size(), "application/octet-stream",
                             [stream](size_t offset, size_t length, httplib::DataSink& sink) {
                                 return stream->Provide(offset, length, sink);
                             });
}

}  // namespace

CReferenceServer::CReferenceServer(std::shared_ptr<const CServerContent> content, LogSink log)
    : m_content(std::move(content)), m_log(std::move(log)) {}

CReferenceServer::~CReferenceServer() {
    Stop();
}

std::string CReferenceServer::ScriptUrl() const {
    return std::string("http://") + kHost + ":" + std::to_string(m_port) + SCRIPT_PATH;
}

bool CReferenceServer::Start(int port, std::string& error) {
    Stop();
    m_server = std::make_unique<httplib::Server>();
    InstallHandlers();
    return Listen(port, error) && RunAcceptLoop(error);
}

void CReferenceServer::InstallHandlers() {
    auto content = m_content;
    m_server->Get(SCRIPT_PATH, [content](const httplib::Request& req, httplib::Response& res) {
        Serve(*content, req, res);
    });
    // Whatever is not the script gets a body without the answer framing, so the
    // tool counts it as a malformed answer.
    m_server->set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
            if (res.body.empty()) {
                Refuse(res, res.status, "no such script");
            }
            return httplib::Server::HandlerResponse::Handled;
        }));
    if (m_log) {
        // Logged once the answer is settled but before any of it is sent, so a
        // client that has its answer finds the line already written.
        auto mutex = std::make_shared<std::mutex>();
        m_server->set_post_routing_handler(
            [log = m_log, mutex](const httplib::Request& req, httplib::Response& res) {
                std::string bytes = res.get_header_value("Content-Length");
                if (bytes.empty()) {
                    bytes = std::to_string(res.body.size());
                }
                const std::string line =
                    req.method + " " + req.target + " " + std::to_string(res.status) + " " + bytes;
                std::lock_guard lock(*mutex);
                log(line);
            });
    }
    // The library's default shares the port with any other listener
    // (SO_REUSEPORT): a second server, or a stale one, would then answer every
    // other request. Only a port left in TIME_WAIT is taken over.
    m_server->set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
}

bool CReferenceServer::Listen(int port, std::string& error) {
    if (port == 0) {
        m_port = m_server->bind_to_any_port(kHost);
    } else {
        m_port = m_server->bind_to_port(kHost, port) ? port : -1;
    }
    if (m_port > 0) {
        return true;
    }
    error = std::string("cannot listen on ") + kHost + ":" + std::to_string(port) +
            " (is another server using the port?)";
    m_server.reset();
    m_port = 0;
    return false;
}

bool CReferenceServer::RunAcceptLoop(std::string& error) {
    auto ended = std::make_shared<std::atomic<bool>>(false);
    m_thread = std::thread([server = m_server.get(), ended] {
        server->listen_after_bind();
        *ended = true;
    });
    // stop() reaches only a running accept loop: wait until it runs.
    while (!m_server->is_running() && !*ended) {
        std::this_thread::yield();
    }
    if (*ended) {
        error = "the server stopped at once";
        Stop();
        return false;
    }
    return true;
}

void CReferenceServer::Stop() {
    if (m_server) {
        m_server->stop();
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_server.reset();
}

}  // namespace teelink
