#include "app/LangDlg.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/stattext.h>

#include <algorithm>

#include "ui/Page.h"

namespace teelink {

namespace {
constexpr int IDC_PROMPT = 1034;
constexpr int IDC_LANGUAGE = 1033;
}  // namespace

CLangDlg::CLangDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "Select Language", wxDefaultPosition, wxDefaultSize, wxCAPTION) {
    // Dialog units of the template, with the 8-point dialog font.
    wxFont font = GetFont();
    font.SetPointSize(8);
    SetFont(font);
    auto du = [this](int x, int y, int w, int h) { return DialogUnitsRect(*this, x, y, w, h); };

    m_strPrompt = wxString::FromUTF8(
        "言語を選択してください\n\nSelect language\n\n언어선택\n\n语言选择\n\n語言選擇");
    // The template's places, grown where this platform's font needs more room
    // than the template's 74 units for the nine lines of the prompt.
    const wxRect promptRect = du(19, 7, 90, 74);
    auto* prompt = new wxStaticText(this, IDC_PROMPT, m_strPrompt, promptRect.GetPosition(),
                                    promptRect.GetSize(), wxALIGN_CENTRE_HORIZONTAL);
    const int promptHeight = std::max(promptRect.height, prompt->GetBestSize().y);
    prompt->SetSize(promptRect.x, promptRect.y, promptRect.width, promptHeight);
    const int gap = ConvertDialogToPixels(wxSize(0, 12)).y;
    const int rowY = promptRect.y + promptHeight + gap;

    const wxRect list = du(14, 93, 63, 12);
    m_combo = new wxChoice(this, IDC_LANGUAGE, wxPoint(list.x, rowY), wxDefaultSize);
    for (const char* entry : {"日本語", "English", "한국어", "中文(簡体字)", "中文(繁体字)"}) {
        m_combo->Append(wxString::FromUTF8(entry));
    }
    m_combo->SetSelection(0);
    m_combo->SetSize(list.width, std::max(list.height, m_combo->GetBestSize().y));
    m_combo->Bind(wxEVT_CHOICE, &CLangDlg::OnSelChange, this);

    const wxRect ok = du(83, 92, 30, 14);
    auto* button = new wxButton(this, wxID_OK, "OK", wxPoint(ok.x, rowY), wxDefaultSize);
    button->SetSize(ok.width, std::max(ok.height, button->GetBestSize().y));
    button->SetDefault();
    // Esc ends the dialog like OK: the current selection counts either way.
    SetEscapeId(wxID_OK);

    const int rowBottom = rowY + std::max(m_combo->GetSize().y, button->GetSize().y);
    const wxSize templateSize = ConvertDialogToPixels(wxSize(128, 113));
    SetClientSize(templateSize.x,
                  std::max(templateSize.y, rowBottom + ConvertDialogToPixels(wxSize(0, 8)).y));
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
