#include "catalogue/Catalogue.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "core/TeelinkDoc.h"
#include "updateclient/Answers.h"
#include "updateclient/RequestForms.h"
#include "updateclient/ServerRequest.h"

namespace teelink {

namespace {

bool Stopped(const std::atomic<bool>* stop) {
    return stop != nullptr && stop->load();
}

// A request ended by its owner's stop is no failure the user needs to see.
CFailure Fail(const std::atomic<bool>* stop, const char* text) {
    return Stopped(stop) ? CFailure::Stopped() : CFailure(text);
}

}  // namespace

CCatalogueOrder CatalogueOrderOf(const CTeelinkDoc& doc) {
    doc.CheckThread();
    return CCatalogueOrder{doc.m_strScriptUrl, doc.Language(), doc.m_serverSettings};
}

Result<std::vector<CItemList>> FetchItemList(const CCatalogueOrder& order,
                                             const std::wstring& querySuffix,
                                             const std::atomic<bool>* stop) {
    CServerRequest request(order.server);
    request.SetAbortFlag(stop);
    if (!request.Open(CatalogueUrl(order.scriptUrl, order.language, querySuffix))) {
        return Fail(stop, "Error: Connect server");
    }
    std::array<uint8_t, 5> header{};
    const size_t got = request.Read(header.data(), header.size());
    const auto length = ParseListHeader(std::span(header.data(), got));
    if (!length) {
        return Fail(stop, "Error: Download data pref");
    }
    const size_t bodySize = static_cast<size_t>(*length) + 1;
    std::vector<uint8_t> body;
    try {
        body.resize(bodySize);  // at most 65536 bytes
    } catch (const std::bad_alloc&) {
        return Fail(stop, "Error: malloc pref");
    }
    // Read in pieces of 1024 until a short piece. A body longer than announced
    // is wrong whatever follows, so the reading stops once it is known to be
    // longer: a server that streams without end cannot hold the worker.
    std::array<uint8_t, 1024> piece{};
    size_t received = 0;
    while (received <= bodySize) {
        const size_t n = request.Read(piece.data(), piece.size());
        if (received < bodySize) {
            std::copy_n(piece.begin(), std::min(n, bodySize - received), body.begin() + received);
        }
        received += n;
        if (n < piece.size()) {
            break;
        }
    }
    if (Stopped(stop)) {
        return CFailure::Stopped();
    }
    if (received != bodySize) {
        return Fail(stop, "Error: Read size pref");
    }
    std::vector<CItemList> items;
    if (!ParseListBody(body, items)) {
        return Fail(stop, "Error: Read data pref");
    }
    return items;
}

Result<FavoriteSlot> FetchCourseInfo(const CCatalogueOrder& order, FavoriteSlot slot,
                                     const std::atomic<bool>* stop) {
    if (slot.n == 0) {
        return slot;
    }
    CServerRequest request(order.server);
    request.SetAbortFlag(stop);
    if (!request.Open(CourseInfoUrl(order.scriptUrl, order.language, slot.n, slot.s, slot.g))) {
        return Fail(stop, "Error: Connect server");
    }
    std::array<uint8_t, 4> header{};
    const size_t got = request.Read(header.data(), header.size());
    const auto count = ParseCourseInfoHeader(std::span(header.data(), got));
    if (!count || Stopped(stop)) {
        return Fail(stop, "Error: Download data");
    }
    // A short answer leaves the rest zero, the ten date characters included.
    std::vector<uint8_t> info(*count, 0);
    request.Read(info.data(), info.size());
    if (Stopped(stop)) {
        return CFailure::Stopped();
    }
    ApplyCourseInfo(info, slot);
    return slot;
}

Status DownloadItemList(CTeelinkDoc& doc, const std::wstring& querySuffix,
                        const std::atomic<bool>* stop) {
    doc.m_itemList.clear();
    auto items = FetchItemList(CatalogueOrderOf(doc), querySuffix, stop);
    if (!items) {
        return items.TakeFailure();
    }
    doc.m_itemList = std::move(items.Value());
    return Success();
}

Status DownloadCourseInfo(CTeelinkDoc& doc, int slotIndex, const std::atomic<bool>* stop) {
    FavoriteSlot& slot = doc.m_favourites.at(static_cast<size_t>(slotIndex));
    auto completed = FetchCourseInfo(CatalogueOrderOf(doc), slot, stop);
    if (!completed) {
        return completed.TakeFailure();
    }
    slot = completed.Value();
    return Success();
}

std::wstring LevelQuery(int level, const CTeelinkDoc& doc) {
    doc.CheckThread();
    auto n = [](long long v) { return std::to_wstring(v); };
    switch (level) {
        case 1:
            return L"&md=6";
        case 2:
            return L"&md=7&a=" + n(doc.m_nAreaIndex);
        case 3:
            return L"&md=8&n=" + n(doc.m_nSelN);
        case 4:
            return L"&md=9&n=" + n(doc.m_nSelN) + L"&r=" + n(doc.m_nSelR);
        case 5:
            return L"&md=10&n=" + n(doc.m_nSelN);
        case 6:
            return L"&md=11&n=" + n(doc.m_nSelN) + L"&il=" + n(doc.m_nSelIl);
        case 7:
            return L"&md=12&n=" + n(doc.m_nSelN) + L"&s=" + n(doc.m_nSelS) + L"&i=" +
                   n(doc.m_nSelI);
        default:
            return L"";
    }
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
    doc.CheckThread();
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

}  // namespace teelink
