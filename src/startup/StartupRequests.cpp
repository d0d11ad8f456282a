#include "startup/StartupRequests.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "core/TeelinkDoc.h"
#include "updateclient/Answers.h"
#include "updateclient/RequestForms.h"
#include "updateclient/ServerRequest.h"
#include "updateclient/TextConvert.h"

namespace teelink {

namespace {

// One read of at most 1024 bytes into a zero-filled buffer; nullopt when the URL
// cannot be opened. A longer body is cut.
// The answer's first bytes; none when no answer came. `cause` says why an
// answer did not come or is no success (for the command line).
std::optional<std::array<uint8_t, STARTUP_ANSWER_SIZE>> FetchStartupAnswer(
    const std::string& url, const CServerSettings& settings, const std::atomic<bool>* stop,
    std::string& cause) {
    CServerRequest request(settings);
    request.SetAbortFlag(stop);
    if (!request.Open(url)) {
        cause = request.Cause();
        return std::nullopt;
    }
    std::array<uint8_t, STARTUP_ANSWER_SIZE> buffer{};
    request.Read(buffer.data(), buffer.size());
    cause = request.Cause();
    return buffer;
}

}  // namespace

Status QueryLatestVersions(CTeelinkDoc& doc, const std::atomic<bool>* stop) {
    doc.CheckThread();
    std::string cause;
    const auto buffer = FetchStartupAnswer(LatestVersionsUrl(doc.m_strScriptUrl),
                                           doc.m_serverSettings, stop, cause);
    if (!buffer) {
        return CFailure("", -1).WithDetail(cause);
    }
    const auto fields = ParseLatestVersions(*buffer);
    if (!fields) {
        return CFailure("", -2).WithDetail(cause);
    }
    doc.m_strLatestTool = WidenBytes((*fields)[0]);
    doc.m_strLatestR7 = WidenBytes((*fields)[1]);
    doc.m_strLatestR8 = WidenBytes((*fields)[2]);
    doc.m_strLatestKS2 = WidenBytes((*fields)[3]);
    return Success();
}

std::wstring LatestVersionForModel(const CTeelinkDoc& doc) {
    doc.CheckThread();
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

Status DownloadAreaList(CTeelinkDoc& doc, int language, const std::atomic<bool>* stop) {
    doc.CheckThread();
    doc.m_areaList.clear();
    std::string cause;
    const auto buffer = FetchStartupAnswer(AreaListUrl(doc.m_strScriptUrl, language),
                                           doc.m_serverSettings, stop, cause);
    if (!buffer) {
        return CFailure("", -1).WithDetail(cause);
    }
    if (const int code = ParseAreaList(*buffer, doc.m_areaList); code != 0) {
        return CFailure("", code).WithDetail(cause);
    }
    return Success();
}

}  // namespace teelink
