#include "updateclient/ServerRequest.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "updateclient/SystemProxy.h"

namespace teelink {

namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

constexpr const char* kUserAgent = "TLR8";
constexpr long kReceiveBufferSize = 256 * 1024;
// libcurl keeps reading within one pass for as long as the socket has data, so
// without a limit the staging buffer ran tens of MiB ahead of the reader:
// memory beyond the package, and copies into memory touched for the first
// time. Past this many unread bytes the transfer is held until the reader has
// caught up, and the staging buffer stays small and warm.
constexpr size_t kStageLimit = static_cast<size_t>(kReceiveBufferSize);

}  // namespace

CServerRequest::CServerRequest(CServerSettings settings) : m_settings(settings) {
    GlobalInit();
}

CServerRequest::~CServerRequest() {
    auto* multi = static_cast<CURLM*>(m_multi);
    auto* easy = static_cast<CURL*>(m_easy);
    if (multi != nullptr && easy != nullptr) {
        curl_multi_remove_handle(multi, easy);
    }
    if (easy != nullptr) {
        curl_easy_cleanup(easy);
    }
    if (multi != nullptr) {
        curl_multi_cleanup(multi);
    }
}

size_t CServerRequest::OnBody(char* data, size_t size, size_t count, void* self) {
    auto* request = static_cast<CServerRequest*>(self);
    const size_t bytes = size * count;
    request->m_headDone = true;
    // A read larger than the limit is let through whole, or it would hold the
    // transfer back forever.
    const bool intoTarget = request->m_target != nullptr && request->Available() == 0 &&
                            request->m_targetFilled + bytes <= request->m_targetCapacity;
    if (!intoTarget && request->Available() >= std::max(kStageLimit, request->m_wanted)) {
        // libcurl keeps this piece and hands it over again when resumed.
        request->m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    const auto* bytesIn = reinterpret_cast<const uint8_t*>(data);
    const size_t placed = request->Place(bytesIn, bytes);
    request->Stage(bytesIn + placed, bytes - placed);
    return bytes;
}

size_t CServerRequest::Place(const uint8_t* data, size_t bytes) {
    // Straight into the target while nothing waits in the staging buffer
    // before it (the order of the body stays the order of the reads).
    if (m_target == nullptr || Available() != 0) {
        return 0;
    }
    const size_t n = std::min(bytes, m_targetCapacity - m_targetFilled);
    std::memcpy(m_target + m_targetFilled, data, n);
    m_targetFilled += n;
    m_received += n;
    return n;
}

void CServerRequest::SetReadTarget(uint8_t* target, size_t capacity) {
    m_target = target;
    m_targetCapacity = capacity;
    m_targetFilled = 0;
    m_targetRead = 0;
    // What already waits in the staging buffer goes into place first.
    const size_t n = std::min(Available(), capacity);
    if (target != nullptr && n > 0) {
        std::memcpy(target, m_pending.data() + m_pendingPos, n);
        m_pendingPos += n;
        m_targetFilled = n;
    }
}

void CServerRequest::Stage(const uint8_t* data, size_t bytes) {
    if (bytes == 0) {
        return;
    }
    // The unread bytes move to the front only when the tail has no room, and
    // the buffer grows only when even that is not enough: a long download
    // reuses the same memory.
    if (m_pending.size() - m_pendingEnd < bytes) {
        const size_t unread = Available();
        if (m_pendingPos > 0) {
            std::memmove(m_pending.data(), m_pending.data() + m_pendingPos, unread);
            m_pendingPos = 0;
            m_pendingEnd = unread;
        }
        if (m_pending.size() - m_pendingEnd < bytes) {
            m_pending.resize(std::max(m_pending.size() * 2, m_pendingEnd + bytes));
        }
    }
    std::memcpy(m_pending.data() + m_pendingEnd, data, bytes);
    m_pendingEnd += bytes;
    m_received += bytes;
}

size_t CServerRequest::OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* request = static_cast<CServerRequest*>(self);
    const size_t bytes = size * count;
    // The blank line ends a response head. Interim heads (100 Continue) end the
    // same way, but a GET without a body gets none from an HTTP/1.1 server.
    if (bytes <= 2 && (bytes == 0 || data[0] == '\r' || data[0] == '\n')) {
        request->m_headDone = true;
    }
    return bytes;
}

bool CServerRequest::Open(const std::string& url) {
    CURLM* multi = curl_multi_init();
    CURL* easy = curl_easy_init();
    m_multi = multi;
    m_easy = easy;
    if (multi == nullptr || easy == nullptr) {
        return false;
    }
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CServerRequest::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CServerRequest::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, m_settings.connectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, m_settings.lowSpeedBytesPerSecond);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, m_settings.stallTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_errorText);
    m_url = url;
    const CProxyPlan proxy = PlanProxy(url, m_settings);
    if (proxy.kind == CProxyPlan::Kind::Direct) {
        curl_easy_setopt(easy, CURLOPT_PROXY, "");  // not even the environment's
    } else if (proxy.kind == CProxyPlan::Kind::Via) {
        m_proxy = proxy.proxy;
        curl_easy_setopt(easy, CURLOPT_PROXY, proxy.proxy.c_str());
        if (proxy.systemCredentials) {
            // The logged-in user's own credentials, through the system.
            curl_easy_setopt(easy, CURLOPT_PROXYAUTH, CURLAUTH_NEGOTIATE | CURLAUTH_NTLM);
            curl_easy_setopt(easy, CURLOPT_PROXYUSERPWD, ":");
        }
    }
    // Large receive pieces: the reads stay 1024 bytes each from the staging
    // buffer, but the socket is emptied in few calls.
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        return false;
    }
    while (!m_headDone && !m_done) {
        Drive(1000);
    }
    // An answer counts when a head arrived, even if the body then broke off.
    return m_headDone;
}

long CServerRequest::HttpStatus() const {
    long status = 0;
    if (m_easy != nullptr) {
        curl_easy_getinfo(static_cast<CURL*>(m_easy), CURLINFO_RESPONSE_CODE, &status);
    }
    return status;
}

std::string CServerRequest::Cause() const {
    const std::string via = m_proxy.empty() ? "" : " (through the proxy " + m_proxy + ")";
    if (m_headDone) {
        const long status = HttpStatus();
        long connect = 0;
        if (m_easy != nullptr) {
            curl_easy_getinfo(static_cast<CURL*>(m_easy), CURLINFO_HTTP_CONNECTCODE, &connect);
        }
        if (connect != 0 && connect != 200) {
            return "the proxy " + m_proxy + " refused: HTTP status " + std::to_string(connect);
        }
        return status == 200 ? std::string() : "HTTP status " + std::to_string(status) + via;
    }
    const std::string detail = m_errorText[0] != 0 ? std::string(": ") + m_errorText : "";
    switch (static_cast<CURLcode>(m_result)) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "name lookup failed" + detail;
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "name lookup of the proxy failed" + detail;
        case CURLE_COULDNT_CONNECT:
            return (m_proxy.empty() ? "connection refused"
                                    : "the proxy " + m_proxy + " refused the connection") +
                   detail;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CACERT_BADFILE:
            return "TLS certificate not accepted" + detail;
        case CURLE_OPERATION_TIMEDOUT:
            return "timed out" + via + detail;
        case CURLE_ABORTED_BY_CALLBACK:
            return "cancelled";
        default:
            return std::string(curl_easy_strerror(static_cast<CURLcode>(m_result))) + via + detail;
    }
}

void CServerRequest::Drive(int waitMs) {
    auto* multi = static_cast<CURLM*>(m_multi);
    if (Aborted()) {
        m_done = true;
        m_result = CURLE_ABORTED_BY_CALLBACK;
        return;
    }
    if (m_abort != nullptr || m_alsoAbort != nullptr) {
        waitMs = std::min(waitMs, 100);  // look at the flags often
    }
    int running = 0;
    const uint64_t before = m_received;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
        m_done = true;
        m_result = CURLE_FAILED_INIT;
        return;
    }
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
        if (msg->msg == CURLMSG_DONE) {
            m_done = true;
            m_result = msg->data.result;
        }
    }
    // Wait for the socket only when this pass brought nothing: while data
    // flows, the next pass reads at once.
    if (!m_done && running > 0 && m_received == before) {
        curl_multi_poll(multi, nullptr, 0, waitMs, nullptr);
    } else if (running == 0) {
        m_done = true;
    }
}

size_t CServerRequest::Read(void* dest, size_t size) {
    if (m_multi == nullptr || m_easy == nullptr) {
        return 0;
    }
    if (m_target != nullptr && dest == m_target + m_targetRead) {
        return ReadInPlace(size);
    }
    m_wanted = size;
    while (Available() < size && !m_done) {
        if (m_paused) {
            // Resuming hands the held piece over at once, before the socket is read.
            m_paused = false;
            curl_easy_pause(static_cast<CURL*>(m_easy), CURLPAUSE_CONT);
            continue;
        }
        Drive(1000);
    }
    const size_t n = std::min(size, Available());
    if (n > 0) {
        std::memcpy(dest, m_pending.data() + m_pendingPos, n);
        m_pendingPos += n;
    }
    return n;
}

size_t CServerRequest::ReadInPlace(size_t size) {
    m_wanted = size;
    while (m_targetFilled - m_targetRead < size && !m_done) {
        // Past the target's end the body waits in the staging buffer.
        if (m_targetFilled == m_targetCapacity) {
            break;
        }
        if (m_paused) {
            m_paused = false;
            curl_easy_pause(static_cast<CURL*>(m_easy), CURLPAUSE_CONT);
            continue;
        }
        Drive(1000);
    }
    const size_t n = std::min(size, m_targetFilled - m_targetRead);
    m_targetRead += n;
    return n;
}

}  // namespace teelink
