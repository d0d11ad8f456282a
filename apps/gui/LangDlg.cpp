#include "gui/LangDlg.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/stattext.h>

#include <algorithm>

#include "ui/Layout.h"
#include "ui/Page.h"

namespace teelink {

namespace {

constexpr int IDC_PROMPT = 1034;
constexpr int IDC_LANGUAGE = 1033;

using K = ControlKind;

// The template, in its order (positions in dialog units, the 8-point dialog font).
constexpr CControlSpec kControls[] = {
    {IDC_PROMPT, K::Label, 19, 7, 90, 74, CENTRED, -1,
     "言語を選択してください\n\nSelect language\n\n언어선택\n\n语言选择\n\n語言選擇"},
    {IDC_LANGUAGE, K::Choice, 14, 93, 63, 12},
    {wxID_OK, K::Button, 83, 92, 30, 14, DEFAULT_BUTTON, -1, "OK"},
};

}  // namespace

// The template's places, grown where this platform's font needs more room than
// the template's 74 units for the nine lines of the prompt: the list and OK
// stand a row below the prompt, as tall as they need, and the dialog ends below
// them.
void CLangDlg::FitRow(const CControls& controls) {
    wxWindow* prompt = controls.Get(IDC_PROMPT);
    const wxRect promptRect = prompt->GetRect();
    const int promptHeight = std::max(promptRect.height, prompt->GetBestSize().y);
    prompt->SetSize(promptRect.x, promptRect.y, promptRect.width, promptHeight);
    const int rowY = promptRect.y + promptHeight + ConvertDialogToPixels(wxSize(0, 12)).y;
    int rowBottom = rowY;
    for (int id : {IDC_LANGUAGE, static_cast<int>(wxID_OK)}) {
        wxWindow* control = controls.Get(id);
        const wxRect r = control->GetRect();
        control->SetSize(r.x, rowY, r.width, std::max(r.height, control->GetBestSize().y));
        rowBottom = std::max(rowBottom, rowY + control->GetSize().y);
    }
    const wxSize templateSize = ConvertDialogToPixels(wxSize(128, 113));
    SetClientSize(templateSize.x,
                  std::max(templateSize.y, rowBottom + ConvertDialogToPixels(wxSize(0, 8)).y));
}

CLangDlg::CLangDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "Select Language", wxDefaultPosition, wxDefaultSize, wxCAPTION) {
    // Dialog units of the template, with the 8-point dialog font.
    wxFont font = GetFont();
    font.SetPointSize(8);
    SetFont(font);
    const CControls controls = CreateControls(*this, kControls, [this](int x, int y, int w, int h) {
        return DialogUnitsRect(*this, x, y, w, h);
    });
    m_strPrompt = controls.Get(IDC_PROMPT)->GetLabel();
    m_combo = controls.As<wxChoice>(IDC_LANGUAGE);
    for (const char* entry : {"日本語", "English", "한국어", "中文(簡体字)", "中文(繁体字)"}) {
        m_combo->Append(wxString::FromUTF8(entry));
    }
    m_combo->SetSelection(0);
    m_combo->Bind(wxEVT_CHOICE, &CLangDlg::OnSelChange, this);
    // Esc ends the dialog like OK: the current selection counts either way.
    SetEscapeId(wxID_OK);
    // Return is OK wherever the keyboard is, the list included, whose popup
    // would otherwise take it.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_RETURN || event.GetKeyCode() == WXK_NUMPAD_ENTER) {
            EndModal(wxID_OK);
            return;
        }
        event.Skip();
    });
    FitRow(controls);
    Centre();
}

void CLangDlg::SelectLanguage(int index) {
    m_combo->SetSelection(index);
    wxCommandEvent event(wxEVT_CHOICE, IDC_LANGUAGE);
    event.SetInt(index);
    event.SetEventObject(m_combo);
    m_combo->GetEventHandler()->ProcessEvent(event);
}

void CLangDlg::OnSelChange(wxCommandEvent& /*event*/) {
    m_nSelLanguage = m_combo->GetSelection();
}

}  // namespace teelink
