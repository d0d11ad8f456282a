#include "pages/favorites/SelectGCDlg.h"

#include <wx/button.h>
#include <wx/dataview.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <algorithm>

#include "core/TeelinkDoc.h"
#include "pages/favorites/FavoritePageIds.h"
#include "resources/Images.h"
#include "ui/Layout.h"
#include "ui/ListColumns.h"
#include "ui/MessageBoxes.h"
#include "ui/Page.h"
#include "ui/PageHost.h"

namespace teelink {

namespace {

using K = ControlKind;

// The template, in its order (positions in dialog units).
constexpr CControlSpec kControls[] = {
    {IDC_SEL_TITLE, K::Label, 7, 7, 128, 8, 0, MSG_SELECT_COURSE},
    {IDC_SEL_LIST, K::List, 7, 20, 219, 172, NO_HEADER, -1, nullptr, -1, IDC_SEL_TITLE},
    {IDC_SEL_BACK, K::Button, 233, 176, 50, 34, 0, MSG_CANCEL},
    {IDC_SEL_LEGEND_ICON, K::Picture, 8, 193, 0, 0, HIDDEN, -1, nullptr, IMG_ICON_HOLEVIEW,
     IDC_SEL_LEGEND},
    {IDC_SEL_LEGEND, K::Label, 22, 196, 131, 8, HIDDEN, MSG_HOLEVIEW},
};

}  // namespace

CSelectGCDlg::CSelectGCDlg(wxWindow* parent, IPageHost& host, CSelectionJobs& jobs)
    : wxDialog(parent, wxID_ANY, "Select Golf Course", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxCLOSE_BOX | wxSYSTEM_MENU),
      m_host(host),
      m_jobs(jobs),
      m_walk(host.Doc()) {
    SetFont(PageFont());
    SetClientSize(ConvertDialogToPixels(wxSize(291, 217)));
    CreateControls();
    m_jobs.dialog = this;
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Act(m_walk.StepBack()); }, IDC_SEL_BACK);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Act(m_walk.CancelCommand()); });
    Bind(wxEVT_CHAR_HOOK, &CSelectGCDlg::OnCharHook, this);
    m_list->Bind(wxEVT_DATAVIEW_ITEM_ACTIVATED, &CSelectGCDlg::OnActivated, this);
    CentreOnParent();
    Act(m_walk.Start());
}

CSelectGCDlg::~CSelectGCDlg() {
    // A request still under way is aborted; its result goes nowhere.
    m_jobs.dialog = nullptr;
    m_jobs.runner.Stop();
}

void CSelectGCDlg::CreateControls() {
    m_controls = teelink::CreateControls(*this, kControls, [this](int x, int y, int w, int h) {
        return DialogUnitsRect(*this, x, y, w, h);
    });
    ApplyTexts(m_controls, kControls, [this](MessageId id) { return m_host.GetMessageText(id); });
    m_list = m_controls.As<wxDataViewListCtrl>(IDC_SEL_LIST);
    m_list->SetFont(wxFont(wxFontInfo(14).FaceName(PageFont().GetFaceName())));
    // The headers are not shown; their titles are what a screen reader says
    // of the columns.
    const wxString holeview = OneLine(Displayed(m_host.GetMessageText(MSG_HOLEVIEW)));
    m_markColumn = AppendMarkColumn(*m_list, holeview, MarkColumnWidth(20), wxALIGN_LEFT,
                                    IMG_ICON_HOLEVIEW, holeview);
    ShowColumn(*m_markColumn, 0);  // until a level with Holeview courses
    m_itemColumn = AppendTextColumn(
        *m_list, OneLine(Displayed(m_host.GetMessageText(MSG_SELECT_COURSE))), 300);
    m_legendIcon = m_controls.As<wxStaticBitmap>(IDC_SEL_LEGEND_ICON);
    m_legendText = m_controls.As<wxStaticText>(IDC_SEL_LEGEND);
}

void CSelectGCDlg::Act(WalkAction action) {
    switch (action.kind) {
        case WalkAction::Request:
            StartRequest(action.level);
            break;
        case WalkAction::Show:
            FillEntryList();
            m_legendIcon->Show(m_walk.ShowsHoleviewColumn());
            m_legendText->Show(m_walk.ShowsHoleviewColumn());
            break;
        case WalkAction::NoData:
            ShowMessageBox(this, m_host.GetMessageText(MSG_NO_DATA), wxEmptyString,
                           wxOK | wxICON_NONE);
            Act(m_walk.StepBack());
            break;
        case WalkAction::EndOk:
            EndModal(wxID_OK);
            break;
        case WalkAction::EndCancel:
            m_jobs.runner.Stop();
            EndModal(wxID_CANCEL);
            break;
        case WalkAction::Ignore:
            break;
    }
}

void CSelectGCDlg::StartRequest(int level) {
    // The job of a closed dialog may still be finishing its request; the
    // runner runs the next one once it has (it never waits for this thread).
    const CTeelinkDoc& doc = m_host.Doc();
    CSelectionJobs& jobs = m_jobs;
    m_jobs.runner.Start(
        CJobPlace{CDevice(), doc.m_serverSettings},
        [order = CatalogueOrderOf(doc), query = LevelQuery(level, doc)](
            const CJobContext& context) { return SelectionJob(order, query, context); },
        [&jobs](Result<std::vector<CItemList>>& list) {
            if (jobs.dialog != nullptr) {
                jobs.dialog->OnList(list);
            }
        });
}

void CSelectGCDlg::OnList(Result<std::vector<CItemList>>& list) {
    if (list) {
        m_host.Doc().m_itemList = std::move(list.Value());
        Act(m_walk.OnListDone());
        return;
    }
    m_host.Doc().m_itemList.clear();
    m_walk.OnListFailed();
    ShowMessageBox(this, m_host.GetMessageText(MSG_DOWNLOAD_FAILED), "Teelink",
                   wxOK | wxICON_ERROR);
    m_host.PostClose();
    EndModal(wxID_CANCEL);
}

void CSelectGCDlg::FillEntryList() {
    const std::vector<CItemList>& items = m_host.Doc().m_itemList;
    m_list->DeleteAllItems();
    for (const CItemList& item : items) {
        wxVector<wxVariant> row;
        row.push_back((item.flags & FLAG_HOLEVIEW) != 0);
        row.push_back(wxString(item.name));
        m_list->AppendItem(row);
    }
    const auto [markWidth, nameWidth] =
        EntryColumnWidths(m_walk.Level(), m_list->GetClientSize().x, items);
    ShowColumn(*m_markColumn, markWidth == 0 ? 0 : MarkColumnWidth(markWidth));
    ShowColumn(*m_itemColumn, nameWidth);
    // A new level starts with the keyboard on its first row, shown as such.
    FocusRow(*m_list, 0);
    m_list->SetFocus();
}

void CSelectGCDlg::OnActivated(wxDataViewEvent& event) {
    const int row = ActivatedRow(*m_list, event);
    if (row >= 0) {
        Act(m_walk.Select(static_cast<size_t>(row)));
    }
}

void CSelectGCDlg::OnCharHook(wxKeyEvent& event) {
    switch (event.GetKeyCode()) {
        case WXK_RETURN:
        case WXK_NUMPAD_ENTER:
            // Enter alone never chooses or ends anything here; a double-click,
            // or Space on the list's row, does.
            return;
        case WXK_ESCAPE:
            // The cancel command at any level, as the close box.
            Act(m_walk.CancelCommand());
            return;
        case WXK_SPACE:
            if (HasKeyboard(*m_list) && !m_walk.Loading()) {
                const int row = m_list->ItemToRow(m_list->GetCurrentItem());
                if (row >= 0) {
                    Act(m_walk.Select(static_cast<size_t>(row)));
                    return;
                }
            }
            break;
        default:
            break;
    }
    event.Skip();
}

}  // namespace teelink
