#include "httpd/HttpService.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <microhttpd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

namespace teelink {

namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr size_t kStreamBlock = 64 * 1024;

// What a connection carries between libmicrohttpd's callbacks.
struct CConnectionState {
    std::string rawTarget;
};

CConnectionState* StateOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info == nullptr ? nullptr : static_cast<CConnectionState*>(info->socket_context);
}

bool SameName(const std::string& a, const char* b) {
    return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

struct CHeadCount {
    size_t bytes = 0;
    bool hasBody = false;
};

MHD_Result CountHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
    auto* count = static_cast<CHeadCount*>(cls);
    const std::string name = key == nullptr ? "" : key;
    const std::string text = value == nullptr ? "" : value;
    count->bytes += name.size() + 2 + text.size() + 2;  // "Name: value\r\n"
    if (SameName(name, MHD_HTTP_HEADER_TRANSFER_ENCODING) ||
        (SameName(name, MHD_HTTP_HEADER_CONTENT_LENGTH) &&
         text.find_first_not_of(" 0") != std::string::npos)) {
        count->hasBody = true;
    }
    return MHD_YES;
}

CHttpRequest DescribeRequest(MHD_Connection* connection, const char* method, const char* version) {
    CHttpRequest request;
    request.method = method == nullptr ? "" : method;
    const CConnectionState* state = StateOf(connection);
    request.target = state == nullptr ? "" : state->rawTarget;
    CHeadCount count;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &CountHeader, &count);
    // "METHOD TARGET VERSION\r\n", the headers, the empty line.
    request.headBytes = request.method.size() + 1 + request.target.size() + 1 +
                        std::strlen(version == nullptr ? "" : version) + 2 + count.bytes + 2;
    request.hasBody = count.hasBody;
    return request;
}

ssize_t ReadStream(void* cls, uint64_t offset, char* into, size_t size) {
    const long got = (*static_cast<CHttpAnswer::Reader*>(cls))(offset, into, size);
    if (got < 0) {
        return MHD_CONTENT_READER_END_WITH_ERROR;
    }
    return got == 0 ? MHD_CONTENT_READER_END_OF_STREAM : static_cast<ssize_t>(got);
}

void FreeReader(void* cls) {
    delete static_cast<CHttpAnswer::Reader*>(cls);
}

MHD_Response* MakeResponse(CHttpAnswer& answer) {
    MHD_Response* response = nullptr;
    if (answer.reader) {
        auto* reader = new CHttpAnswer::Reader(std::move(answer.reader));
        response = MHD_create_response_from_callback(answer.streamSize, kStreamBlock, &ReadStream,
                                                     reader, &FreeReader);
        if (response == nullptr) {
            delete reader;
        }
    } else {
        response = MHD_create_response_from_buffer(answer.body.size(), answer.body.data(),
                                                   MHD_RESPMEM_MUST_COPY);
    }
    if (response == nullptr) {
        return nullptr;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.c_str());
    for (const auto& [name, value] : answer.headers) {
        MHD_add_response_header(response, name.c_str(), value.c_str());
    }
    // One request per connection: nothing waits on an idle connection.
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    return response;
}

}  // namespace

// libmicrohttpd's callbacks, with the service as their closure.
struct CHttpService::CCallbacks {
    static void Notify(void*, MHD_Connection*, void** socketContext,
                       MHD_ConnectionNotificationCode code) {
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            *socketContext = new CConnectionState;
        } else {
            delete static_cast<CConnectionState*>(*socketContext);
            *socketContext = nullptr;
        }
    }

    // The target as sent, before the library decodes it.
    static void* UriLog(void*, const char* uri, MHD_Connection* connection) {
        if (CConnectionState* state = StateOf(connection)) {
            state->rawTarget = uri == nullptr ? "" : uri;
        }
        return nullptr;
    }

    static MHD_Result Access(void* cls, MHD_Connection* connection, const char*, const char* method,
                             const char* version, const char*, size_t* uploadSize,
                             void** requestContext) {
        auto* self = static_cast<CHttpService*>(cls);
        if (*requestContext != nullptr) {
            *uploadSize = 0;  // a body is never read: the answer went out at the head
            return MHD_YES;
        }
        *requestContext = self;
        CHttpAnswer answer = self->Answer(DescribeRequest(connection, method, version));
        // From here the head is in: a stalled reader is what the time-out watches.
        MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT,
                                  self->m_limits.stallTimeoutS);
        MHD_Response* response = MakeResponse(answer);
        if (response == nullptr) {
            return MHD_NO;
        }
        const MHD_Result queued =
            MHD_queue_response(connection, static_cast<unsigned>(answer.status), response);
        MHD_destroy_response(response);
        return queued;
    }
};

CHttpService::CHttpService(Handler handler, CHttpLimits limits)
    : m_handler(std::move(handler)), m_limits(limits) {}

CHttpService::~CHttpService() {
    Stop();
}

CHttpAnswer CHttpService::Answer(const CHttpRequest& request) const {
    if (request.headBytes > m_limits.maxHeadBytes) {
        CHttpAnswer refused;
        refused.status = MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE;
        refused.contentType = "text/plain";
        refused.body = "request head too large\n";
        return refused;
    }
    return m_handler(request);
}

bool CHttpService::Start(uint16_t port, std::string& error) {
    Stop();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, kHost, &address.sin_addr);
    const unsigned flags = m_limits.threadPerConnection
                               ? MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION
                               : MHD_USE_AUTO_INTERNAL_THREAD;
    // Room for a head at the limit and the answer's own head; a longer head is
    // refused by the library before it is whole, one at the limit by Answer.
    const size_t pool = std::max<size_t>(32 * 1024, 2 * m_limits.maxHeadBytes + 16 * 1024);
    m_daemon = MHD_start_daemon(
        flags, port, nullptr, nullptr, &CCallbacks::Access, this, MHD_OPTION_SOCK_ADDR,
        reinterpret_cast<const sockaddr*>(&address), MHD_OPTION_CONNECTION_LIMIT,
        m_limits.maxConnections, MHD_OPTION_CONNECTION_TIMEOUT, m_limits.headTimeoutS,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, pool, MHD_OPTION_NOTIFY_CONNECTION, &CCallbacks::Notify,
        nullptr, MHD_OPTION_URI_LOG_CALLBACK, &CCallbacks::UriLog, nullptr, MHD_OPTION_END);
    const MHD_DaemonInfo* info =
        m_daemon == nullptr ? nullptr : MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    if (info == nullptr) {
        error = std::string("cannot listen on ") + kHost + ":" + std::to_string(port) +
                " (is another server using the port?)";
        Stop();
        return false;
    }
    m_port = info->port;
    return true;
}

void CHttpService::Stop() {
    if (m_daemon != nullptr) {
        MHD_stop_daemon(m_daemon);
        m_daemon = nullptr;
    }
    m_port = 0;
}

}  // namespace teelink
