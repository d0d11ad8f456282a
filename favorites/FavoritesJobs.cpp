#include "favorites/FavoritesJobs.h"

#include "catalogue/Catalogue.h"
#include "core/TeelinkDoc.h"
#include "favorites/FavoritesTable.h"

namespace teelink {

namespace {

template <typename Message>
void PostUnlessStopped(IWorkerReport<Message>& report, const std::atomic<bool>& stop,
                       Message message) {
    if (!stop.load()) {
        report.Post(message, 0);
    }
}

}  // namespace

void FavoritesReadJob(CTeelinkDoc& doc, IWorkerReport<FavoritesMessage>& report,
                      const std::atomic<bool>& stop) {
    if (stop.load()) {
        return;
    }
    const bool ok = ReadFavorites(doc);
    PostUnlessStopped(report, stop, ok ? WM_FAV_READ_DONE : WM_FAV_READ_FAILED);
}

void CourseCheckJob(CTeelinkDoc& doc, IWorkerReport<FavoritesMessage>& report,
                    const std::atomic<bool>& stop) {
    for (int slot = 0; slot < FAVORITE_SLOT_COUNT; ++slot) {
        if (stop.load()) {
            return;
        }
        if (!DownloadCourseInfo(doc, slot, &stop)) {
            PostUnlessStopped(report, stop, WM_FAV_CHECK_FAILED);
            return;
        }
    }
    PostUnlessStopped(report, stop, WM_FAV_CHECK_DONE);
}

void SelectionJob(CTeelinkDoc& doc, int level, IWorkerReport<SelectionMessage>& report,
                  const std::atomic<bool>& stop) {
    if (stop.load()) {
        return;
    }
    const bool ok = DownloadItemList(doc, LevelQuery(level, doc), &stop);
    PostUnlessStopped(report, stop, ok ? WM_LIST_DONE : WM_LIST_FAILED);
}

}  // namespace teelink
