#include "pages/favorites/FavoriteView.h"

#include <wx/button.h>
#include <wx/dataview.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <cstdio>

#include "catalogue/Catalogue.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceList.h"
#include "pages/favorites/FavoritePageIds.h"
#include "resources/Images.h"
#include "ui/BoxQueue.h"
#include "ui/Layout.h"
#include "ui/ListColumns.h"
#include "ui/TextFit.h"

namespace teelink {

namespace {

using K = ControlKind;

// The template, in its order (positions in dialog units).
constexpr CControlSpec kControls[] = {
    {IDC_FAV_TITLE, K::Label, 7, 43, 105, 8, 0, MSG_FAVORITES_TITLE},
    {IDC_FAV_LIST, K::List, 7, 57, 185, 203, 0, -1, nullptr, -1, IDC_FAV_TITLE},
    {IDC_FAV_STATUS, K::Label, 7, 266, 169, 8},
    {IDC_FAV_LEGEND_ICON, K::Picture, 7, 281, 0, 0, 0, -1, nullptr, IMG_ICON_NEEDS_UPDATE,
     IDC_FAV_LEGEND},
    {IDC_FAV_LEGEND, K::Label, 21, 284, 168, 8, 0, MSG_NEEDS_UPDATE_LEGEND},
    {IDC_FAV_CANCEL, K::Button, 199, 234, 45, 25, 0, MSG_CANCEL},
    {IDC_FAV_UPDATE, K::Button, 199, 269, 45, 25, DISABLED, MSG_COLUMN_UPDATE},
};

}  // namespace

CFavoriteView::CFavoriteView(wxWindow* parent, IPageHost& host, int paneId)
    : CPage(parent, host, paneId, "Favorite", 251, 301),
      m_thread(*this, host.Boxes()),
      m_jobs(m_thread, host.Notifier()),
      m_selection(*this, host.Boxes(), host.Notifier()) {
    CreateControls();
    Bind(wxEVT_BUTTON, &CFavoriteView::OnCancel, this, IDC_FAV_CANCEL);
    Bind(wxEVT_BUTTON, &CFavoriteView::OnUpdate, this, IDC_FAV_UPDATE);
    m_list->Bind(wxEVT_DATAVIEW_ITEM_ACTIVATED, &CFavoriteView::OnActivated, this);
}

CFavoriteView::~CFavoriteView() {
    StopWork();
}

void CFavoriteView::CreateControls() {
    AddHeaderLogo(157, 38);
    m_controls = teelink::CreateControls(
        *this, kControls, [this](int x, int y, int w, int h) { return Du(x, y, w, h); });
    m_list = m_controls.As<wxDataViewListCtrl>(IDC_FAV_LIST);
    m_status = m_controls.As<wxStaticText>(IDC_FAV_STATUS);
    m_btnUpdate = m_controls.As<wxButton>(IDC_FAV_UPDATE);
}

void CFavoriteView::OnInitialUpdate() {
    AppendTextColumn(*m_list, wxString(Text(MSG_COLUMN_SLOT)), 50, wxALIGN_RIGHT);
    AppendMarkColumn(*m_list, wxString(Text(MSG_COLUMN_UPDATE)), MarkColumnWidth(16),
                     wxALIGN_CENTRE, IMG_ICON_NEEDS_UPDATE,
                     OneLine(Displayed(Text(MSG_NEEDS_UPDATE_LEGEND))));
    AppendTextColumn(*m_list, wxString(Text(MSG_COLUMN_COURSE)), 300);
    ApplyTexts(m_controls, kControls, [this](MessageId id) { return Text(id); });
}

void CFavoriteView::OnShowPage(bool shown) {
    if (shown) {
        StartRead();
    } else {
        // Leaving the page ends its job: what it would find is for a page no
        // one looks at.
        m_jobs.Stop();
    }
}

void CFavoriteView::StopWork() {
    m_jobs.StopAndWait();
    m_selection.runner.StopAndWait();
}

void CFavoriteView::SetStatus(MessageId id) {
    SetFittedLabel(*m_status, Text(id));
}

void CFavoriteView::StartRead() {
    if (Host().IsClosing() || !IsShown()) {
        return;
    }
    // A job left behind by Cancel may still be finishing its request (it was
    // told to stop and delivers nothing); the runner runs the new read once
    // it has.
    m_btnUpdate->Disable();
    SetStatus(MSG_LOADING_FAVORITES);
    // The identified device, by its path; one that has gone fails to open.
    const CDevice device = Host().Devices().At(Doc().m_strDevicePath).value_or(CDevice());
    m_jobs.Start(CJobPlace{device, Doc().m_serverSettings}, FavoritesReadJob,
                 [this](Result<FavoriteSlots>& read) { OnRead(read); });
}

void CFavoriteView::OnRead(Result<FavoriteSlots>& read) {
    if (Host().IsClosing() || !IsShown()) {
        return;
    }
    ApplyFavoritesRead(Doc(), read);
    if (!read) {
        Fail();
        return;
    }
    SetStatus(MSG_CHECKING_COURSES);
    m_jobs.Start(
        CJobPlace{CDevice(), Doc().m_serverSettings},
        [order = CatalogueOrderOf(Doc()), slots = Doc().m_favourites](const CJobContext& context) {
            return CourseCheckJob(order, slots, context);
        },
        [this](Result<FavoriteSlots>& checked) { OnChecked(checked); });
}

void CFavoriteView::OnChecked(Result<FavoriteSlots>& checked) {
    if (Host().IsClosing() || !IsShown()) {
        return;
    }
    if (!checked) {
        Fail();
        return;
    }
    Doc().m_favourites = checked.Value();
    SetStatus(MSG_DOUBLE_CLICK_SLOT);
    FillSlotList();
    UpdateButtonState();
}

// A read or check that failed, once its texts are shown: the tool ends.
void CFavoriteView::Fail() {
    ShowBox(Text(MSG_COMMUNICATION_FAILURE), "Teelink", wxOK | wxICON_ERROR);
    Host().PostClose();
}

void CFavoriteView::FillSlotList() {
    m_list->DeleteAllItems();
    const auto& slots = Doc().m_favourites;
    for (int i = 1; i < FAVORITE_SLOT_COUNT; ++i) {
        const FavoriteSlot& slot = slots[static_cast<size_t>(i)];
        // An empty slot shows its number alone; the update mark comes with a course.
        const bool empty = slot.n == 0 && slot.s == 0 && slot.g == 0;
        wxVector<wxVariant> row;
        row.push_back(wxString::Format("%02d", i));
        row.push_back(!empty && SlotNeedsUpdate(slot));
        row.push_back(empty ? wxString() : wxString(slot.name));
        m_list->AppendItem(row);
    }
}

void CFavoriteView::UpdateButtonState() {
    bool any = false;
    for (int i = 1; i < FAVORITE_SLOT_COUNT; ++i) {
        any = any || SlotNeedsUpdate(Doc().m_favourites[static_cast<size_t>(i)]);
    }
    m_btnUpdate->Enable(any);
}

void CFavoriteView::OnActivated(wxDataViewEvent& event) {
    // While a job runs the table is half read: the rows on screen are old.
    const int row = ActivatedRow(*m_list, event);
    if (m_jobs.Running() || row < 0) {
        return;
    }
    const int slot = row + 1;
    if (slot < FAVORITE_SLOT_COUNT) {
        EditSlot(slot);
    }
}

void CFavoriteView::EditSlot(int slot) {
    int result = wxID_CANCEL;
    {
        CSelectGCDlg dialog(this, Host(), m_selection);
        result = dialog.ShowModal();
    }
    if (result != wxID_OK || Host().IsClosing()) {
        return;
    }
    CTeelinkDoc& doc = Doc();
    FavoriteSlot& record = doc.m_favourites[static_cast<size_t>(slot)];
    record.Reset();
    record.n = doc.m_nSelN;
    record.s = doc.m_nSelS;
    record.g = doc.m_nSelG;
    record.name = doc.m_strSelName;
    record.deviceDate[0] = '0';
    record.serverDate[0] = '1';
    FillSlotList();
    UpdateButtonState();
}

void CFavoriteView::OnCancel(wxCommandEvent& /*event*/) {
    // Leaving stops the running job (OnShowPage): its request is aborted and
    // its result dropped, so no failure can arrive from a hidden page.
    Host().SwitchView(VIEW_MAIN);
}

void CFavoriteView::OnUpdate(wxCommandEvent& /*event*/) {
    if (m_jobs.Running()) {
        return;
    }
    Doc().m_nUpdateMode = UPDATE_FAVORITE_DATA;
    Host().SwitchView(VIEW_UPDATE);
}

wxWindow* CFavoriteView::FocusTarget() const {
    return m_controls.Get(IDC_FAV_LIST);
}

}  // namespace teelink
