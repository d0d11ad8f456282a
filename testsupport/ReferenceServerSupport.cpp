#include "testsupport/ReferenceServerSupport.h"

#include <gtest/gtest.h>

#include "updateclient/ServerRequest.h"

namespace teelink {

std::shared_ptr<const CServerContent> SampleContent() {
    static const std::shared_ptr<const CServerContent> content = [] {
        auto loaded = std::make_shared<CServerContent>();
        std::string error;
        if (!loaded->Load(TEELINK_SAMPLE_CONTENT_DIR, error)) {
            ADD_FAILURE() << "sample content: " << error;
        }
        return loaded;
    }();
    return content;
}

CRunningReferenceServer::CRunningReferenceServer(std::shared_ptr<const CServerContent> content)
    : m_server(std::move(content), [this](const std::string& line) {
          std::lock_guard lock(m_mutex);
          m_lines.push_back(line);
      }) {
    std::string error;
    if (!m_server.Start(0, error)) {
        ADD_FAILURE() << "reference server: " << error;
    }
}

std::vector<std::string> CRunningReferenceServer::LogLines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

std::string FetchBody(const std::string& url) {
    CServerRequest request;
    if (!request.Open(url)) {
        ADD_FAILURE() << "no answer from " << url;
        return {};
    }
    std::string body;
    char piece[1024];
    for (;;) {
        const size_t n = request.Read(piece, sizeof piece);
        body.append(piece, n);
        if (n < sizeof piece) {
            return body;
        }
    }
}

}  // namespace teelink
