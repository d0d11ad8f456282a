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

    bool WorkerRunning() const { return m_worker.Running(); }
    // Opens the course selection dialog for slot `slot` (1 to 15).
    void EditSlot(int slot);

private:
    void CreateControls();
    void StartRead();
    void OnWorkerMessage(FavoritesMessage message);
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
    using FavoritesJob = void (*)(CTeelinkDoc&, const CJobContext&,
                                  IWorkerReport<FavoritesMessage>&);
    void StartJob(const CDevice& device, FavoritesJob job);

    CWindowReport<FavoritesMessage> m_report;
    CWorker m_worker;  // after what its jobs report to
    CSelectionJobs m_selection;
};

}  // namespace teelink
