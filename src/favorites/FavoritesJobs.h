#pragma once

// The jobs of the favourites page and of its course selection dialog. Each
// gets a copy of what it needs from the document and returns what it found;
// the owner writes that into the document on its own thread.

#include <array>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "core/JobContext.h"
#include "updateclient/CatalogueRecords.h"

namespace teelink {

using FavoriteSlots = std::array<FavoriteSlot, FAVORITE_SLOT_COUNT>;

// The favourites table of the context's device.
Result<FavoriteSlots> FavoritesReadJob(const CJobContext& context);

// The read's result into the document, on its thread: the table, or after a
// failure sixteen empty records (nothing of an earlier visit survives).
void ApplyFavoritesRead(CTeelinkDoc& doc, const Result<FavoriteSlots>& read);

// `slots` with records 0 to 15 completed by the server, asked in order; the
// first failure ends it, so the records after the failing one are not asked
// about.
Result<FavoriteSlots> CourseCheckJob(const CCatalogueOrder& order, FavoriteSlots slots,
                                     const CJobContext& context);

// The course directory's level that `query` names (LevelQuery).
Result<std::vector<CItemList>> SelectionJob(const CCatalogueOrder& order, const std::wstring& query,
                                            const CJobContext& context);

}  // namespace teelink
