#include "favorites/FavoritesJobs.h"

#include "catalogue/Catalogue.h"
#include "core/TeelinkDoc.h"
#include "favorites/FavoritesTable.h"

namespace teelink {

namespace {

// The end of each of these jobs: done, or the failure's texts and failed.
template <typename Message>
void End(const CJobContext& context, IWorkerReport<Message>& report, const Status& status,
         Message done, Message failed) {
    if (context.Stopping()) {
        return;
    }
    if (status) {
        EndJob(report, context.notifier, nullptr, done);
    } else {
        EndJob(report, context.notifier, &status.Failure(), failed);
    }
}

}  // namespace

void FavoritesReadJob(CTeelinkDoc& doc, const CJobContext& context,
                      IWorkerReport<FavoritesMessage>& report) {
    if (context.Stopping()) {
        return;
    }
    End(context, report, ReadFavorites(doc, context.device), WM_FAV_READ_DONE, WM_FAV_READ_FAILED);
}

void CourseCheckJob(CTeelinkDoc& doc, const CJobContext& context,
                    IWorkerReport<FavoritesMessage>& report) {
    Status status;
    for (int slot = 0; slot < FAVORITE_SLOT_COUNT && status && !context.Stopping(); ++slot) {
        status = DownloadCourseInfo(doc, slot, &context.stop);
    }
    End(context, report, status, WM_FAV_CHECK_DONE, WM_FAV_CHECK_FAILED);
}

void SelectionJob(CTeelinkDoc& doc, int level, const CJobContext& context,
                  IWorkerReport<SelectionMessage>& report) {
    if (context.Stopping()) {
        return;
    }
    End(context, report, DownloadItemList(doc, LevelQuery(level, doc), &context.stop), WM_LIST_DONE,
        WM_LIST_FAILED);
}

}  // namespace teelink
