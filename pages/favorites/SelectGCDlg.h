#pragma once

#include <wx/dialog.h>

#include "core/Worker.h"
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
// reach the dialog again. So the worker and its report belong to the page that
// opens dialogs, and reports reach a dialog only while it is registered.
struct CSelectionJobs {
    explicit CSelectionJobs(wxEvtHandler& page, CBoxQueue& boxes);

    CSelectGCDlg* dialog = nullptr;  // the dialog open now, if any
    CWindowReport<SelectionMessage> report;
    CWorker worker;  // last: joined before the report its job uses goes away
};

// Picks one golf course from the server's course directory, level by level.
// Ends with OK once a course is chosen (the document's selection keys name
// it), with Cancel otherwise.
class CSelectGCDlg : public wxDialog {
public:
    CSelectGCDlg(wxWindow* parent, IPageHost& host, CSelectionJobs& jobs);
    ~CSelectGCDlg() override;

    void OnListMessage(SelectionMessage message);
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
