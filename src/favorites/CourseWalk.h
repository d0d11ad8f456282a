#pragma once

// The course selection dialog's walk through the server's course directory,
// apart from its window: which level to request next, which to show, and the
// keys a choice leaves in the document. The dialog turns each WalkAction into a
// request (a SelectionJob), rows, a box or its end.

#include <cstddef>
#include <utility>
#include <vector>

#include "updateclient/CatalogueRecords.h"

namespace teelink {

class CTeelinkDoc;

struct WalkAction {
    enum Kind {
        Request,    // start a SelectionJob for `level`
        Show,       // fill the list with doc.m_itemList, the rows of `level`
        NoData,     // `level` is empty: show "NO Data", then call StepBack()
        EndOk,      // a course was chosen: the document's selection keys name it
        EndCancel,  // end the dialog with Cancel
        Ignore,     // nothing to do
    };
    Kind kind = Ignore;
    int level = 0;
};

class CCourseWalk {
public:
    static constexpr int kFirstLevel = 1;
    static constexpr int kCourseLevel = 7;

    explicit CCourseWalk(CTeelinkDoc& doc) : m_doc(doc) {}

    // Requests level 1.
    WalkAction Start();

    // The request of the current level succeeded and doc.m_itemList holds it.
    // Levels 1 to 5 with a single entry are passed through: forwards by choosing
    // the entry, backwards by stepping back once more. Ignored when no request
    // is outstanding (a result that arrives after the walk ended).
    WalkAction OnListDone();

    // The request failed; its text has been shown. The walk stops waiting; the
    // dialog reports the failure and the application closes.
    WalkAction OnListFailed();

    // A double-click on `row` of the list. Does nothing while a level is being
    // fetched (the rows on screen belong to the previous level, and the entries
    // behind them are being replaced) or when `row` is not an entry (the empty
    // area below the rows).
    WalkAction Select(size_t row);

    // One level back (the dialog's button, and the step after "NO Data"). Does
    // nothing while a level is being fetched; at level 1 it ends with Cancel.
    WalkAction StepBack();

    // Esc or the close box: Cancel at any level, even while fetching (the owner
    // stops the job; its late result is ignored).
    WalkAction CancelCommand();

    // The current level 1 to 7, or 0 once a course has been chosen.
    int Level() const { return m_level; }
    bool Loading() const { return m_loading; }
    bool GoingBack() const { return m_goingBack; }
    bool Ended() const { return m_ended; }
    // The Holeview mark column and the legend are shown at the course level only.
    bool ShowsHoleviewColumn() const { return m_level == kCourseLevel; }

private:
    WalkAction SelectEntry(size_t index);
    WalkAction RequestLevel(int level);
    WalkAction End(WalkAction::Kind kind);

    // The document, from its own thread only (checked in test builds).
    CTeelinkDoc& Doc() const;
    CTeelinkDoc& m_doc;
    int m_level = kFirstLevel;
    bool m_loading = false;
    bool m_goingBack = false;
    bool m_ended = false;
};

// Widths in pixels of the mark column (0) and the name column (1) for `items`
// shown at `level` in a list `clientWidth` pixels wide: the mark column is 20 at
// the course level and hidden elsewhere; the name column fills the rest of the
// list, or is wider when the longest name (M characters) needs (M + 2) * 16.
std::pair<int, int> EntryColumnWidths(int level, int clientWidth,
                                      const std::vector<CItemList>& items);

}  // namespace teelink
