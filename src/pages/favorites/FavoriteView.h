#pragma once

#include "core/Worker.h"
#include "favorites/FavoritesJobs.h"
#include "pages/favorites/SelectGCDlg.h"
#include "ui/Layout.h"
#include "ui/Page.h"
#include "ui/WindowReport.h"

class wxButton;
class wxDataViewEvent;
class wxDataViewListCtrl;
class wxStaticText;

namespace teelink {

// The favourites page: the device's fifteen favourite slots, checked against
// the server; a slot is replaced through the course selection dialog, and
// Update hands the slots that need new data to the update page.
class CFavoriteView : public CPage {
public:
    CFavoriteView(wxWindow* parent, IPageHost& host, int paneId);
    ~CFavoriteView() override;

    void OnInitialUpdate() override;
    void OnShowPage(bool shown) override;
    wxWindow* FocusTarget() const override;
    void StopWork() override;

    bool WorkerRunning() const { return m_jobs.Running(); }
    // Opens the course selection dialog for slot `slot` (1 to 15).
    void EditSlot(int slot);

private:
    void CreateControls();
    void StartRead();
    void OnRead(Result<FavoriteSlots>& read);
    void OnChecked(Result<FavoriteSlots>& checked);
    void Fail();
    void FillSlotList();
    void UpdateButtonState();
    void SetStatus(MessageId id);
    void OnActivated(wxDataViewEvent& event);
    void OnCancel(wxCommandEvent& event);
    void OnUpdate(wxCommandEvent& event);

    CControls m_controls;
    wxDataViewListCtrl* m_list = nullptr;
    wxStaticText* m_status = nullptr;
    wxButton* m_btnUpdate = nullptr;

    CWindowThread m_thread;
    CJobRunner<FavoriteSlots> m_jobs;  // after the thread its results reach
    CSelectionJobs m_selection;
};

}  // namespace teelink
