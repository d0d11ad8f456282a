#include "refserver/ReferenceServer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <optional>

#include "refserver/AnswerWriter.h"

namespace teelink {

namespace {

constexpr const char* kHost = "127.0.0.1";

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

    // The answer's bytes at `offset`: the header, then the file. A file cut
    // short while it is sent ends the connection early (-1), so the client sees
    // a short body, never made-up bytes.
    long Read(uint64_t offset, char* into, size_t size) const {
        if (offset < m_header.size()) {
            const size_t n = std::min<size_t>(size, m_header.size() - offset);
            m_header.copy(into, n, offset);
            return static_cast<long>(n);
        }
        const uint64_t at = offset - m_header.size();
        if (at >= m_archiveSize) {
            return 0;
        }
        const size_t want = std::min<uint64_t>(size, m_archiveSize - at);
        const ssize_t got = ::pread(m_fd, into, want, static_cast<off_t>(at));
        return got > 0 ? static_cast<long>(got) : -1;
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

struct CRefusal {
    int status;
    std::string reason;
};

// What a request must be to be answered: GET, no body, the script.
std::optional<CRefusal> Refusal(const CHttpRequest& request) {
    if (request.method != "GET") {
        return CRefusal{405, "only GET is answered"};
    }
    if (request.hasBody) {
        return CRefusal{413, "a request carries no body here"};
    }
    if (request.target.substr(0, request.target.find('?')) != SCRIPT_PATH) {
        return CRefusal{404, "no such script"};
    }
    return std::nullopt;
}

CHttpAnswer Refused(const CRefusal& refusal) {
    CHttpAnswer answer;
    answer.status = refusal.status;
    answer.contentType = "text/plain";
    answer.body = "teelink-update-server: " + refusal.reason + "\n";
    if (refusal.status == 405) {
        answer.headers.emplace_back("Allow", "GET");
    }
    return answer;
}

}  // namespace

CReferenceServer::CReferenceServer(std::shared_ptr<const CServerContent> content, LogSink log,
                                   CHttpLimits limits)
    : m_content(std::move(content)),
      m_log(std::move(log)),
      m_http([this](const CHttpRequest& request) { return Answer(request); }, limits) {}

CReferenceServer::~CReferenceServer() {
    Stop();
}

std::string CReferenceServer::ScriptUrl() const {
    return std::string("http://") + kHost + ":" + std::to_string(Port()) + SCRIPT_PATH;
}

bool CReferenceServer::Start(int port, std::string& error) {
    if (port < 0 || port > 65535) {
        error = "no such port: " + std::to_string(port);
        return false;
    }
    return m_http.Start(static_cast<uint16_t>(port), error);
}

void CReferenceServer::Stop() {
    m_http.Stop();
}

CHttpAnswer CReferenceServer::Answer(const CHttpRequest& request) {
    CHttpAnswer answer;
    std::optional<CRefusal> refusal = Refusal(request);
    if (!refusal) {
        // The raw query: values are checked as the tool sent them, not decoded.
        const size_t mark = request.target.find('?');
        CServedAnswer served =
            m_content->Answer(mark == std::string::npos ? "" : request.target.substr(mark + 1));
        auto package = std::make_shared<CPackageFile>();
        std::string reason;
        if (served.IsPackage() && !package->Open(served.packagePath, reason)) {
            refusal = CRefusal{404, reason};
        } else if (served.IsPackage()) {
            answer.streamSize = package->Size();
            answer.reader = [package](uint64_t offset, char* into, size_t size) {
                return package->Read(offset, into, size);
            };
        } else {
            answer.status = served.status;
            answer.contentType = served.status == 200 ? "application/octet-stream" : "text/plain";
            answer.body = std::move(served.body);
        }
    }
    if (refusal) {
        answer = Refused(*refusal);
    }
    // Logged before any of it is sent, so a client that has its answer finds
    // the line already written.
    Log(request.method, request.target, answer.status,
        answer.reader ? answer.streamSize : answer.body.size());
    return answer;
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

}  // namespace teelink
