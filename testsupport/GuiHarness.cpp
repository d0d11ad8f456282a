#include "testsupport/GuiHarness.h"

#include <gtest/gtest.h>
#include <wx/evtloop.h>
#include <wx/msgdlg.h>
#include <wx/window.h>

#include <algorithm>
#include <chrono>

#include "gui/LangDlg.h"
#include "gui/MainFrame.h"
#include "gui/TeelinkApp.h"

namespace teelink {

std::vector<CRecordedDialog> CDialogAnswers::Messages() const {
    std::vector<CRecordedDialog> out;
    for (const CRecordedDialog& d : dialogs) {
        if (d.kind == "message") {
            out.push_back(d);
        }
    }
    return out;
}

int CDialogAnswers::Answer(wxDialog* dialog) {
    if (auto* lang = dynamic_cast<CLangDlg*>(dialog)) {
        if (languageChoice >= 0) {
            lang->SelectLanguage(languageChoice);
        }
        dialogs.push_back({"language", {}, lang->GetTitle(), 0});
        return languageEndId;
    }
    if (auto* box = dynamic_cast<wxMessageDialogBase*>(dialog)) {
        CRecordedDialog record{"message", box->GetMessage(), box->GetCaption(),
                               box->GetMessageDialogStyle()};
        dialogs.push_back(record);
        ++boxesShowing;
        maxBoxesShowing = std::max(maxBoxesShowing, boxesShowing);
        if (onMessage) {
            onMessage(record);
        }
        RunBoxLoop();
        --boxesShowing;
        return answer ? answer(record) : wxID_OK;
    }
    const wxString name = dialog->GetClassInfo()->GetClassName();
    if (driveModal) {
        dialogs.push_back({name.utf8_string(), {}, dialog->GetTitle(), 0});
        wxTheApp->CallAfter([this, dialog] { driveModal(dialog); });
        return wxID_NONE;  // the dialog's own modal loop runs
    }
    if (onOther) {
        onOther(dialog);
        dialogs.push_back({name.utf8_string(), {}, dialog->GetTitle(), 0});
        return wxID_OK;
    }
    ADD_FAILURE() << "unexpected modal dialog " << name.utf8_string();
    dialogs.push_back({name.utf8_string(), {}, dialog->GetTitle(), 0});
    return wxID_CANCEL;
}

int CDialogAnswers::Enter(wxDialog* dialog) {
    const int answered = Answer(dialog);
    if (answered != wxID_NONE) {
        // Answered here instead of shown: the hooks that were told of it
        // before (the box queue) hear that it is gone, as after a real loop.
        wxModalDialogHook::CallExit(dialog);
    }
    return answered;
}

void CDialogAnswers::Exit(wxDialog* /*dialog*/) {}

void CDialogAnswers::RunBoxLoop() {
    wxEventLoop loop;
    wxEventLoopActivator active(&loop);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(boxLoopMs);
    while (std::chrono::steady_clock::now() < until) {
        loop.DispatchTimeout(5);
        if (wxTheApp != nullptr) {
            wxTheApp->ProcessPendingEvents();
        }
    }
}

CGuiHarness::CGuiHarness(CAppOptions options)
    : m_options(std::move(options)), m_loop(std::make_unique<wxEventLoop>()) {
    wxEventLoopBase::SetActive(m_loop.get());
    m_answers.Register();
}

CGuiHarness::~CGuiHarness() {
    if (m_started && !Closed()) {
        App().OnExitButton();
        PumpUntil([this] { return Closed(); }, 10000);
    }
    m_answers.Unregister();
    wxEventLoopBase::SetActive(nullptr);
}

bool CGuiHarness::Start() {
    App().SetOptions(m_options);
    m_started = App().CallOnInit();
    Pump();
    return m_started;
}

CTeelinkApp& CGuiHarness::App() const {
    return wxGetApp();
}

wxWindow* CGuiHarness::Control(int id) const {
    CPage* page = App().ActiveView();
    return page == nullptr ? nullptr : wxWindow::FindWindowById(id, page);
}

bool CGuiHarness::Press(int id) {
    wxWindow* control = Control(id);
    if (control == nullptr || !control->IsShown() || !control->IsEnabled()) {
        return false;
    }
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(control);
    control->GetEventHandler()->ProcessEvent(event);
    Pump();
    return true;
}

void CGuiHarness::Pump() {
    for (int i = 0; i < 4; ++i) {
        while (m_loop->Pending()) {
            m_loop->Dispatch();
        }
        if (wxTheApp != nullptr) {
            wxTheApp->ProcessPendingEvents();
            wxTheApp->ProcessIdle();
        }
    }
}

bool CGuiHarness::PumpUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return condition();
        }
        m_loop->DispatchTimeout(10);
        Pump();
    }
    return true;
}

void CGuiHarness::PumpFor(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        m_loop->DispatchTimeout(10);
        Pump();
    }
}

bool CGuiHarness::PumpActiveUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return condition();
        }
        if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) {
            loop->DispatchTimeout(10);
        }
        wxTheApp->ProcessPendingEvents();
        wxTheApp->ProcessIdle();
    }
    return true;
}

bool CGuiHarness::Closed() const {
    return App().IsClosing() && wxTopLevelWindows.GetCount() == 0;
}

}  // namespace teelink
