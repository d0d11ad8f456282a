#include "server/ServerRequest.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

constexpr const char* kUserAgent = "TLR8";

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
    // Keep the unread tail compact so a long download does not grow the buffer.
    if (request->m_pendingPos > 0 && request->m_pendingPos >= request->m_pending.size() / 2) {
        request->m_pending.erase(
            request->m_pending.begin(),
            request->m_pending.begin() + static_cast<std::ptrdiff_t>(request->m_pendingPos));
        request->m_pendingPos = 0;
    }
    request->m_pending.insert(request->m_pending.end(), data, data + bytes);
    return bytes;
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
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, m_settings.stallTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        return false;
    }
    while (!m_headDone && !m_done) {
        Drive(1000);
    }
    // An answer counts when a head arrived, even if the body then broke off.
    return m_headDone;
}

void CServerRequest::Drive(int waitMs) {
    auto* multi = static_cast<CURLM*>(m_multi);
    if (m_abort != nullptr && m_abort->load()) {
        m_done = true;
        m_result = CURLE_ABORTED_BY_CALLBACK;
        return;
    }
    if (m_abort != nullptr) {
        waitMs = std::min(waitMs, 100);  // look at the flag often
    }
    int running = 0;
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
    if (!m_done && running > 0) {
        curl_multi_poll(multi, nullptr, 0, waitMs, nullptr);
    } else if (running == 0) {
        m_done = true;
    }
}

size_t CServerRequest::Read(void* dest, size_t size) {
    if (m_multi == nullptr || m_easy == nullptr) {
        return 0;
    }
    while (Available() < size && !m_done) {
        Drive(1000);
    }
    const size_t n = std::min(size, Available());
    if (n > 0) {
        std::memcpy(dest, m_pending.data() + m_pendingPos, n);
        m_pendingPos += n;
    }
    return n;
}
