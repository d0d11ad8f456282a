#include "refserver/ReferenceServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "refserver/AnswerWriter.h"

namespace teelink {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kHost = "127.0.0.1";
constexpr size_t kPackageChunk = 64 * 1024;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<int64_t>(left.count(), 0));
}

// Sends all of `data`; false when the reader has gone or took nothing for
// `stallMs`.
bool SendAll(int fd, const char* data, size_t size, int stallMs) {
    size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd entry{fd, POLLOUT, 0};
            if (::poll(&entry, 1, stallMs) <= 0) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

// The request head, up to the empty line: nullopt when the connection ended,
// took too long or sent more than a head may hold (`tooLarge` says which).
std::optional<std::string> ReadHead(int fd, const CServerLimits& limits, bool& tooLarge) {
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(limits.headTimeoutMs);
    std::string head;
    char buffer[2048];
    for (;;) {
        const size_t end = head.find("\r\n\r\n");
        if (end != std::string::npos) {
            head.resize(end + 2);
            return head;
        }
        if (head.size() > limits.maxHeadBytes) {
            tooLarge = true;
            return std::nullopt;
        }
        pollfd entry{fd, POLLIN, 0};
        const int left = MillisecondsLeft(deadline);
        if (left == 0 || ::poll(&entry, 1, left) <= 0) {
            return std::nullopt;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n <= 0) {
            return std::nullopt;
        }
        head.append(buffer, static_cast<size_t>(n));
    }
}

struct CRequest {
    std::string method;
    std::string target;
    bool hasBody = false;
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// "METHOD TARGET HTTP/1.x", then header lines; nullopt when it is no request.
std::optional<CRequest> ParseHead(const std::string& head) {
    const size_t lineEnd = head.find("\r\n");
    const std::string line = head.substr(0, lineEnd);
    const size_t first = line.find(' ');
    const size_t second = line.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos ||
        line.compare(second + 1, 7, "HTTP/1.") != 0) {
        return std::nullopt;
    }
    CRequest request{line.substr(0, first), line.substr(first + 1, second - first - 1)};
    if (request.method.empty() || request.target.empty() || request.target.front() != '/') {
        return std::nullopt;
    }
    // No answer reads a body: a request announcing one is refused unread.
    for (size_t at = lineEnd + 2; at < head.size();) {
        const size_t end = head.find("\r\n", at);
        const std::string field = Lower(head.substr(at, end - at));
        if (field.rfind("transfer-encoding:", 0) == 0 ||
            (field.rfind("content-length:", 0) == 0 &&
             field.find_first_not_of(" 0", 15) != std::string::npos)) {
            request.hasBody = true;
        }
        at = end + 2;
    }
    return request;
}

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Content Too Large";
        case 431:
            return "Request Header Fields Too Large";
        default:
            return "Internal Server Error";
    }
}

std::string ResponseHead(int status, size_t length, const char* type) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    head += std::string("Content-Type: ") + type + "\r\n";
    head += "Content-Length: " + std::to_string(length) + "\r\n";
    if (status == 405) {
        head += "Allow: GET\r\n";
    }
    return head + "Connection: close\r\n\r\n";
}

std::string RefusalBody(const std::string& reason) {
    return "teelink-update-server: " + reason + "\n";
}

// A package answer: the header, then the archive read piece by piece from its
// file, so a large package never sits in memory whole.
class CPackageFile {
public:
    ~CPackageFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    // False when it cannot be read or does not fit the header's 32-bit size.
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
        m_archiveSize = static_cast<size_t>(info.st_size);
        m_header = PackageHeader(static_cast<uint32_t>(info.st_size));
        return true;
    }
    size_t Size() const { return m_header.size() + m_archiveSize; }

    // Sends the header and the archive; a file cut short while it is sent ends
    // the connection early, so the client sees a short body, never made-up bytes.
    bool Send(int fd, int stallMs) const {
        if (!SendAll(fd, m_header.data(), m_header.size(), stallMs)) {
            return false;
        }
        std::vector<char> chunk(kPackageChunk);
        for (size_t offset = 0; offset < m_archiveSize;) {
            const size_t want = std::min(chunk.size(), m_archiveSize - offset);
            const ssize_t got = ::pread(m_fd, chunk.data(), want, static_cast<off_t>(offset));
            if (got <= 0 || !SendAll(fd, chunk.data(), static_cast<size_t>(got), stallMs)) {
                return false;
            }
            offset += static_cast<size_t>(got);
        }
        return true;
    }

private:
    int m_fd = -1;
    std::string m_header;
    size_t m_archiveSize = 0;
};

// A log line's text: printable ASCII as it is, every other byte as \xHH, so a
// request cannot write to the terminal that shows the log.
std::string Escaped(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        }
    }
    return out;
}

}  // namespace

CReferenceServer::CReferenceServer(std::shared_ptr<const CServerContent> content, LogSink log,
                                   CServerLimits limits)
    : m_content(std::move(content)), m_log(std::move(log)), m_limits(limits) {}

CReferenceServer::~CReferenceServer() {
    Stop();
}

std::string CReferenceServer::ScriptUrl() const {
    return std::string("http://") + kHost + ":" + std::to_string(m_port) + SCRIPT_PATH;
}

bool CReferenceServer::Start(int port, std::string& error) {
    Stop();
    m_stopping = false;
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Only a port left in TIME_WAIT is taken over; never one another server uses.
    int yes = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, kHost, &address.sin_addr);
    socklen_t length = sizeof address;
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listen, 64) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(m_wake, O_CLOEXEC) != 0) {
        error = std::string("cannot listen on ") + kHost + ":" + std::to_string(port) +
                " (is another server using the port?)";
        Stop();
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { AcceptLoop(); });
    return true;
}

void CReferenceServer::AcceptLoop() {
    for (;;) {
        pollfd entries[2] = {{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (m_stopping || (entries[1].revents & POLLIN) != 0) {
            return;
        }
        if ((entries[0].revents & POLLIN) == 0) {
            continue;
        }
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        std::lock_guard lock(m_mutex);
        if (m_active >= m_limits.maxConnections) {
            ::close(fd);  // a flood of connections gets no thread each
            continue;
        }
        m_connections.insert(fd);
        ++m_active;
        std::thread([this, fd] {
            Serve(fd);
            std::lock_guard ended(m_mutex);
            m_connections.erase(fd);
            ::close(fd);
            --m_active;
            m_allEnded.notify_all();
        }).detach();
    }
}

namespace {

struct CRefusal {
    int status;
    std::string reason;
};

// What a request must be to be answered: GET, no body, the script.
std::optional<CRefusal> Refusal(const std::optional<CRequest>& request) {
    if (!request) {
        return CRefusal{400, "no HTTP request"};
    }
    if (request->method != "GET") {
        return CRefusal{405, "only GET is answered"};
    }
    if (request->hasBody) {
        return CRefusal{413, "a request carries no body here"};
    }
    if (request->target.substr(0, request->target.find('?')) != SCRIPT_PATH) {
        return CRefusal{404, "no such script"};
    }
    return std::nullopt;
}

}  // namespace

void CReferenceServer::Serve(int fd) {
    bool tooLarge = false;
    const auto head = ReadHead(fd, m_limits, tooLarge);
    if (!head && !tooLarge) {
        return;  // gone, or too slow: nothing to answer
    }
    const std::optional<CRequest> request = head ? ParseHead(*head) : std::nullopt;
    const std::string method = request ? request->method : "-";
    const std::string target = request ? request->target : "-";
    auto refusal = tooLarge ? CRefusal{431, "request head too large"} : Refusal(request);
    CPackageFile package;
    CServedAnswer answer;
    if (!refusal) {
        // The raw query: values are checked as the tool sent them, not decoded.
        const size_t mark = request->target.find('?');
        answer =
            m_content->Answer(mark == std::string::npos ? "" : request->target.substr(mark + 1));
        std::string reason;
        if (answer.IsPackage() && !package.Open(answer.packagePath, reason)) {
            refusal = CRefusal{404, reason};
        }
    }
    if (refusal) {
        answer = CServedAnswer{refusal->status, RefusalBody(refusal->reason), {}};
    }
    const bool isPackage = answer.IsPackage();
    const size_t size = isPackage ? package.Size() : answer.body.size();
    const char* type = answer.status == 200 ? "application/octet-stream" : "text/plain";
    // Logged before any of it is sent, so a client that has its answer finds
    // the line already written.
    Log(method, target, answer.status, size);
    const std::string out = ResponseHead(answer.status, size, type) + answer.body;
    if (SendAll(fd, out.data(), out.size(), m_limits.stallTimeoutMs) && isPackage) {
        package.Send(fd, m_limits.stallTimeoutMs);
    }
}

void CReferenceServer::Log(const std::string& method, const std::string& target, int status,
                           size_t bytes) {
    if (!m_log) {
        return;
    }
    const std::string line = Escaped(method) + " " + Escaped(target) + " " +
                             std::to_string(status) + " " + std::to_string(bytes);
    std::lock_guard lock(m_logMutex);
    m_log(line);
}

void CReferenceServer::Stop() {
    m_stopping = true;
    if (m_wake[1] >= 0) {
        const char wake = 1;
        (void)!::write(m_wake[1], &wake, 1);
    }
    if (m_acceptor.joinable()) {
        m_acceptor.join();
    }
    {
        // Every connection ends now: a reader that takes nothing, or a client
        // that never finishes its request, cannot keep the server.
        std::unique_lock lock(m_mutex);
        for (const int fd : m_connections) {
            ::shutdown(fd, SHUT_RDWR);
        }
        m_allEnded.wait(lock, [this] { return m_active == 0; });
    }
    for (int* fd : {&m_listen, &m_wake[0], &m_wake[1]}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    m_port = 0;
}

}  // namespace teelink
