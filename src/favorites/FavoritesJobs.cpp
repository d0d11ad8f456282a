#include "favorites/FavoritesJobs.h"

#include "core/TeelinkDoc.h"
#include "favorites/FavoritesTable.h"

namespace teelink {

Result<FavoriteSlots> FavoritesReadJob(const CJobContext& context) {
    if (auto stopped = context.Interruption()) {
        return *stopped;
    }
    return ReadFavoriteSlots(context.device);
}

void ApplyFavoritesRead(CTeelinkDoc& doc, const Result<FavoriteSlots>& read) {
    doc.CheckThread();
    doc.m_favourites = read ? read.Value() : FavoriteSlots{};
}

Result<FavoriteSlots> CourseCheckJob(const CCatalogueOrder& order, FavoriteSlots slots,
                                     const CJobContext& context) {
    for (FavoriteSlot& slot : slots) {
        if (auto stopped = context.Interruption()) {
            return *stopped;
        }
        auto completed = FetchCourseInfo(order, slot, &context.stop);
        if (!completed) {
            return completed.TakeFailure();
        }
        slot = completed.Value();
    }
    return slots;
}

Result<std::vector<CItemList>> SelectionJob(const CCatalogueOrder& order, const std::wstring& query,
                                            const CJobContext& context) {
    if (auto stopped = context.Interruption()) {
        return *stopped;
    }
    return FetchItemList(order, query, &context.stop);
}

}  // namespace teelink
