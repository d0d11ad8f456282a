#pragma once

#include <wx/dialog.h>

#include "core/JobRunner.h"
#include "favorites/CourseWalk.h"
#include "favorites/FavoritesJobs.h"
#include "ui/Layout.h"
#include "ui/WindowReport.h"

class wxDataViewColumn;
class wxDataViewEvent;
class wxDataViewListCtrl;
class wxStaticBitmap;
class wxStaticText;

namespace teelink {

class IPageHost;
class CSelectGCDlg;

// The course requests of the selection dialog outlive the dialog: a request
// still under way when the dialog closes is stopped, and its job must never
// reach the dialog again. So the runner belongs to the page that opens
// dialogs, and results reach a dialog only while it is registered.
struct CSelectionJobs {
    CSelectionJobs(wxEvtHandler& page, CBoxQueue& boxes, IUserNotifier& notifier)
        : thread(page, boxes), runner(thread, notifier) {}

    CSelectGCDlg* dialog = nullptr;  // the dialog open now, if any
    CWindowThread thread;
    CJobRunner<std::vector<CItemList>> runner;  // last: joined before what it reaches goes
};

// Picks one golf course from the server's course directory, level by level.
// Ends with OK once a course is chosen (the document's selection keys name
// it), with Cancel otherwise.
class CSelectGCDlg : public wxDialog {
public:
    CSelectGCDlg(wxWindow* parent, IPageHost& host, CSelectionJobs& jobs);
    ~CSelectGCDlg() override;

    // The requested level, or the failure whose texts have been shown.
    void OnList(Result<std::vector<CItemList>>& list);
    const CCourseWalk& Walk() const { return m_walk; }

private:
    void CreateControls();
    void Act(WalkAction action);
    void StartRequest(int level);
    void FillEntryList();
    void OnActivated(wxDataViewEvent& event);
    void OnCharHook(wxKeyEvent& event);

    IPageHost& m_host;
    CSelectionJobs& m_jobs;
    CCourseWalk m_walk;
    CControls m_controls;
    wxDataViewListCtrl* m_list = nullptr;
    wxDataViewColumn* m_markColumn = nullptr;
    wxDataViewColumn* m_itemColumn = nullptr;
    wxStaticBitmap* m_legendIcon = nullptr;
    wxStaticText* m_legendText = nullptr;
};

}  // namespace teelink
