#include "startup/StartupRequests.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "core/TeelinkDoc.h"
#include "server/Answers.h"
#include "server/RequestForms.h"
#include "server/ServerRequest.h"
#include "server/TextConvert.h"

namespace teelink {

namespace {

// One read of at most 1024 bytes into a zero-filled buffer; nullopt when the URL
// cannot be opened. A longer body is cut.
std::optional<std::array<uint8_t, STARTUP_ANSWER_SIZE>> FetchStartupAnswer(
    const std::string& url, const CServerSettings& settings) {
    CServerRequest request(settings);
    if (!request.Open(url)) {
        return std::nullopt;
    }
    std::array<uint8_t, STARTUP_ANSWER_SIZE> buffer{};
    request.Read(buffer.data(), buffer.size());
    return buffer;
}

}  // namespace

int QueryLatestVersions(CTeelinkDoc& doc) {
    const auto buffer =
        FetchStartupAnswer(LatestVersionsUrl(doc.m_strScriptUrl), doc.m_serverSettings);
    if (!buffer) {
        return -1;
    }
    const auto fields = ParseLatestVersions(*buffer);
    if (!fields) {
        return -2;
    }
    doc.m_strLatestTool = WidenBytes((*fields)[0]);
    doc.m_strLatestR7 = WidenBytes((*fields)[1]);
    doc.m_strLatestR8 = WidenBytes((*fields)[2]);
    doc.m_strLatestKS2 = WidenBytes((*fields)[3]);
    return 0;
}

std::wstring LatestVersionForModel(const CTeelinkDoc& doc) {
    if (doc.m_strModel == L"R7") {
        return doc.m_strLatestR7;
    }
    if (doc.m_strModel == L"R8") {
        return doc.m_strLatestR8;
    }
    if (doc.m_strModel == L"KS2") {
        return doc.m_strLatestKS2;
    }
    return L"---";
}

int DownloadAreaList(CTeelinkDoc& doc, int language) {
    doc.m_areaList.clear();
    const auto buffer =
        FetchStartupAnswer(AreaListUrl(doc.m_strScriptUrl, language), doc.m_serverSettings);
    if (!buffer) {
        return -1;
    }
    return ParseAreaList(*buffer, doc.m_areaList);
}

}  // namespace teelink
