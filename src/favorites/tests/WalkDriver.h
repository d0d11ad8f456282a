#pragma once

#include "catalogue/Catalogue.h"
#include "common/UserNotifier.h"
#include "core/TeelinkDoc.h"
#include "favorites/CourseWalk.h"
#include "favorites/FavoritesJobs.h"
#include "testsupport/OwnerThread.h"

namespace teelink {

// Plays the selection dialog without its window: runs the job of every Request
// of `walk` through a job runner and hands its result back, until the walk
// needs the user.
inline WalkAction DriveWalk(CCourseWalk& walk, CTeelinkDoc& doc, IUserNotifier& notifier,
                            WalkAction action) {
    while (action.kind == WalkAction::Request) {
        auto list = RunThroughRunner<std::vector<CItemList>>(
            notifier, CJobPlace{CDevice(), doc.m_serverSettings},
            [order = CatalogueOrderOf(doc), query = LevelQuery(action.level, doc)](
                const CJobContext& context) { return SelectionJob(order, query, context); });
        const bool done = list && *list;
        doc.m_itemList = done ? std::move(list->Value()) : std::vector<CItemList>{};
        action = done ? walk.OnListDone() : walk.OnListFailed();
    }
    return action;
}

}  // namespace teelink
