// The course catalogue requests of the document: a directory level (md=6 to
// md=12) and the server's information on one favourite course (md=5).
#include <algorithm>
#include <array>
#include <vector>

#include "app/TeelinkDoc.h"
#include "app/UserNotifier.h"
#include "server/Answers.h"
#include "server/RequestForms.h"
#include "server/ServerRequest.h"

bool CTeelinkDoc::DownloadItemList(const std::wstring& querySuffix) {
    m_itemList.clear();
    CServerRequest request(m_serverSettings);
    if (!request.Open(CatalogueUrl(m_strScriptUrl, Language(), querySuffix))) {
        m_notifier.ShowPlain("Error: Connect server");
        return false;
    }
    std::array<uint8_t, 5> header{};
    const size_t got = request.Read(header.data(), header.size());
    const auto length = ParseListHeader(std::span(header.data(), got));
    if (!length) {
        m_notifier.ShowPlain("Error: Download data pref");
        return false;
    }
    const size_t bodySize = static_cast<size_t>(*length) + 1;
    std::vector<uint8_t> body(bodySize);
    // Read in pieces of 1024 until a short piece; bytes past L + 1 are counted,
    // never stored.
    std::array<uint8_t, 1024> piece{};
    size_t received = 0;
    for (;;) {
        const size_t n = request.Read(piece.data(), piece.size());
        if (received < bodySize) {
            std::copy_n(piece.begin(), std::min(n, bodySize - received), body.begin() + received);
        }
        received += n;
        if (n < piece.size()) {
            break;
        }
    }
    if (received != bodySize) {
        m_notifier.ShowPlain("Error: Read size pref");
        return false;
    }
    if (!ParseListBody(body, m_itemList)) {
        m_notifier.ShowPlain("Error: Read data pref");
        return false;
    }
    return true;
}

bool CTeelinkDoc::DownloadCourseInfo(int slotIndex) {
    FavoriteSlot& slot = m_favourites.at(static_cast<size_t>(slotIndex));
    if (slot.n == 0) {
        return true;
    }
    CServerRequest request(m_serverSettings);
    if (!request.Open(CourseInfoUrl(m_strScriptUrl, Language(), slot.n, slot.s, slot.g))) {
        m_notifier.ShowPlain("Error: Connect server");
        return false;
    }
    std::array<uint8_t, 4> header{};
    const size_t got = request.Read(header.data(), header.size());
    const auto count = ParseCourseInfoHeader(std::span(header.data(), got));
    if (!count) {
        m_notifier.ShowPlain("Error: Download data");
        return false;
    }
    // A short answer leaves the rest zero, the ten date characters included.
    std::vector<uint8_t> info(*count, 0);
    request.Read(info.data(), info.size());
    ApplyCourseInfo(info, slot);
    return true;
}
