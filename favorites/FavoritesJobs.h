#pragma once

// The jobs of the favourites page and of its course selection dialog. Each runs
// on its owner's worker and ends with one last report. A job whose stop flag is
// set ends quietly: its owner is gone or no longer waits for it.

#include "core/JobContext.h"
#include "core/Worker.h"

namespace teelink {

class CTeelinkDoc;

// What the favourites page's jobs report at their end.
enum FavoritesMessage : int {
    WM_FAV_READ_DONE = 0x7F1,     // the table is in doc.m_favourites
    WM_FAV_READ_FAILED = 0x7F2,   // the read failed; its text has been shown
    WM_FAV_CHECK_DONE = 0x7F3,    // every record has been asked about
    WM_FAV_CHECK_FAILED = 0x7F4,  // a request failed; its text has been shown
};

// What the course selection dialog's job reports. The values are those of the
// check job's results: the page and the dialog are separate receivers.
enum SelectionMessage : int {
    WM_LIST_DONE = 0x7F3,    // doc.m_itemList holds the level
    WM_LIST_FAILED = 0x7F4,  // the request failed; its text has been shown
};

// Reads the favourites table of the context's device into the document.
void FavoritesReadJob(CTeelinkDoc& doc, const CJobContext& context,
                      IWorkerReport<FavoritesMessage>& report);

// Asks the server about records 0 to 15 in order; the first failure ends it,
// so the records after the failing one are not asked about.
void CourseCheckJob(CTeelinkDoc& doc, const CJobContext& context,
                    IWorkerReport<FavoritesMessage>& report);

// Fetches directory level `level` (1 to 7) into doc.m_itemList with the
// document's current selection keys.
void SelectionJob(CTeelinkDoc& doc, int level, const CJobContext& context,
                  IWorkerReport<SelectionMessage>& report);

}  // namespace teelink
