#pragma once

// The course catalogue over the document: a directory level (md=6 to md=12)
// into the item list, the server's information on one favourite course (md=5),
// and the favourite slots' keys of the favourite course data request.

#include <atomic>
#include <string>
#include <vector>

#include "common/Result.h"
#include "updateclient/CatalogueRecords.h"
#include "updateclient/ServerSettings.h"

namespace teelink {

class CTeelinkDoc;

// What a catalogue request needs from the document, copied on the document's
// thread so that the request can run on a job's.
struct CCatalogueOrder {
    std::string scriptUrl;
    int language = 0;
    CServerSettings server;
};
CCatalogueOrder CatalogueOrderOf(const CTeelinkDoc& doc);

// The level of the course directory that `querySuffix` names. A set `stop`
// flag ends the request at once (the failure is then of the Stopped kind:
// nothing is shown for it).
Result<std::vector<CItemList>> FetchItemList(const CCatalogueOrder& order,
                                             const std::wstring& querySuffix,
                                             const std::atomic<bool>* stop = nullptr);

// `slot` completed with the server's date and name. An empty slot (n = 0) is
// not asked about and comes back as it went.
Result<FavoriteSlot> FetchCourseInfo(const CCatalogueOrder& order, FavoriteSlot slot,
                                     const std::atomic<bool>* stop = nullptr);

// The same on the document's own thread: the level into doc.m_itemList (empty
// after a failure), and slot `slotIndex` completed in place.
Status DownloadItemList(CTeelinkDoc& doc, const std::wstring& querySuffix,
                        const std::atomic<bool>* stop = nullptr);
Status DownloadCourseInfo(CTeelinkDoc& doc, int slotIndex, const std::atomic<bool>* stop = nullptr);

// The query suffix of course directory level 1 to 7.
std::wstring LevelQuery(int level, const CTeelinkDoc& doc);

bool SlotNeedsUpdate(const FavoriteSlot& slot);
// The 150-character value of the favourite course data request's `f`.
std::string FavouriteUpdateKeys(const CTeelinkDoc& doc);

}  // namespace teelink
