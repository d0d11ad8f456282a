#include "server/StartupRequests.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "app/TeelinkDoc.h"
#include "server/Answers.h"
#include "server/RequestForms.h"
#include "server/ServerRequest.h"
#include "server/TextConvert.h"

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

bool SlotNeedsUpdate(const FavoriteSlot& slot) {
    if (slot.n == 0) {
        return false;
    }
    if (std::strcmp(slot.serverDate.data(), "0001010000") == 0) {
        return false;
    }
    return std::memcmp(slot.deviceDate.data(), slot.serverDate.data(), 10) != 0;
}

std::string FavouriteUpdateKeys(const CTeelinkDoc& doc) {
    std::string keys;
    keys.reserve(150);
    for (int i = 1; i < FAVORITE_SLOT_COUNT; ++i) {
        const FavoriteSlot& slot = doc.m_favourites[static_cast<size_t>(i)];
        if (SlotNeedsUpdate(slot)) {
            char key[16];
            std::snprintf(key, sizeof key, "%04x%02x%04x", static_cast<unsigned>(slot.n),
                          static_cast<unsigned>(slot.s), static_cast<unsigned>(slot.g));
            keys += key;
        } else {
            keys += "0000000000";
        }
    }
    return keys;
}
