#include "ui/Page.h"

#include "core/TeelinkDoc.h"

#include <algorithm>

#include <wx/dc.h>
#include <wx/dcclient.h>
#include <wx/fontenum.h>
#include <wx/settings.h>
#include <wx/statbmp.h>

#include "resources/Images.h"
#include "ui/Accessible.h"
#include "ui/MessageBoxes.h"

namespace teelink {

CTeelinkDoc& CPage::Doc() const {
    CTeelinkDoc& doc = m_host.Doc();
    doc.CheckThread();
    return doc;
}

wxFont PageFont() {
    static const bool hasGothic = wxFontEnumerator::IsValidFacename("MS UI Gothic");
    if (hasGothic) {
        return wxFont(wxFontInfo(9).FaceName("MS UI Gothic"));
    }
    wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    font.SetPointSize(9);
    return font;
}

CPage::CPage(wxWindow* parent, IPageHost& host, int paneId, const wxString& name, int widthDu,
             int heightDu)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL, name),
      m_host(host),
      m_nPaneId(paneId) {
    SetFont(PageFont());
    SetBackgroundColour(*wxWHITE);
    m_pageSize = ConvertDialogToPixels(wxSize(widthDu, heightDu));
    SetMinSize(m_pageSize);
    Bind(wxEVT_ERASE_BACKGROUND, &CPage::OnEraseBackground, this);
}

int CPage::ShowBox(const wxString& text, const wxString& caption, long style) {
    return ShowMessageBox(this, text, caption, style);
}

wxSize CPage::NeededSizePx() const {
    const wxSize margin = ConvertDialogToPixels(wxSize(4, 4));
    wxSize needed = m_pageSize;
    for (const wxWindow* child : GetChildren()) {
        const wxRect r = child->GetRect();
        needed.x = std::max(needed.x, r.GetRight() + 1 + margin.x);
        needed.y = std::max(needed.y, r.GetBottom() + 1 + margin.y);
    }
    return needed;
}

wxRect DialogUnitsRect(const wxWindow& window, int x, int y, int w, int h) {
    return wxRect(window.ConvertDialogToPixels(wxPoint(x, y)),
                  window.ConvertDialogToPixels(wxSize(w, h)));
}

wxRect CPage::Du(int x, int y, int w, int h) const {
    return DialogUnitsRect(*this, x, y, w, h);
}

void CPage::AddHeaderLogo(int widthDu, int heightDu) {
    const wxRect r = Du(7, 7, widthDu, heightDu);
    auto* logo = new wxStaticBitmap(this, wxID_ANY, ImageBundle(IMG_HEADER_LOGO), r.GetPosition(),
                                    r.GetSize());
    SetAccessibleName(*logo, ImageText(IMG_HEADER_LOGO));
}

void CPage::OnEraseBackground(wxEraseEvent& event) {
    wxDC* dc = event.GetDC();
    if (dc == nullptr) {
        event.Skip();
        return;
    }
    dc->SetBrush(*wxWHITE_BRUSH);
    dc->SetPen(*wxTRANSPARENT_PEN);
    wxCoord x, y, w, h;
    dc->GetClippingBox(&x, &y, &w, &h);
    if (w == 0 || h == 0) {
        const wxSize size = GetClientSize();
        x = y = 0;
        w = size.x;
        h = size.y;
    }
    dc->DrawRectangle(x, y, w, h);
}

}  // namespace teelink
