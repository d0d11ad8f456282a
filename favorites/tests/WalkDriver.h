#pragma once

#include <atomic>

#include "core/TeelinkDoc.h"
#include "favorites/CourseWalk.h"
#include "favorites/FavoritesJobs.h"
#include "testsupport/ReportRecorder.h"

namespace teelink {

// Plays the selection dialog without its window: runs the job of every Request
// of `walk` and hands its result back, until the walk needs the user.
inline WalkAction DriveWalk(CCourseWalk& walk, CTeelinkDoc& doc, IUserNotifier& notifier,
                            WalkAction action) {
    while (action.kind == WalkAction::Request) {
        CReportRecorder<SelectionMessage> report;
        std::atomic<bool> stop{false};
        SelectionJob(doc, action.level,
                     CJobContext{CDevice(), notifier, doc.m_serverSettings, stop}, report);
        const bool done = report.Messages() == std::vector<SelectionMessage>{WM_LIST_DONE};
        action = done ? walk.OnListDone() : walk.OnListFailed();
    }
    return action;
}

}  // namespace teelink
