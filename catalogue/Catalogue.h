#pragma once

// The course catalogue over the document: a directory level (md=6 to md=12)
// into the item list, the server's information on one favourite course (md=5),
// and the favourite slots' keys of the favourite course data request.

#include <atomic>
#include <string>

#include "common/Result.h"

namespace teelink {

class CTeelinkDoc;
struct FavoriteSlot;

// Fills doc.m_itemList with the level that `querySuffix` names. A set `stop`
// flag ends the request at once (the failure is then of the Stopped kind:
// nothing is shown for it).
Status DownloadItemList(CTeelinkDoc& doc, const std::wstring& querySuffix,
                        const std::atomic<bool>* stop = nullptr);

// Completes favourite slot `slotIndex` with the server's date and name. An empty
// slot (n = 0) is not asked about.
Status DownloadCourseInfo(CTeelinkDoc& doc, int slotIndex, const std::atomic<bool>* stop = nullptr);

// The query suffix of course directory level 1 to 7.
std::wstring LevelQuery(int level, const CTeelinkDoc& doc);

bool SlotNeedsUpdate(const FavoriteSlot& slot);
// The 150-character value of the favourite course data request's `f`.
std::string FavouriteUpdateKeys(const CTeelinkDoc& doc);

}  // namespace teelink
