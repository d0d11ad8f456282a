#pragma once

#include <wx/modalhook.h>
#include <wx/string.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/AppOptions.h"

class wxEventLoop;
class wxWindow;

namespace teelink {

class CTeelinkApp;

// One modal dialog that the application tried to show.
struct CRecordedDialog {
    std::string kind;  // "language", "message" or the class name of an unexpected dialog
    wxString message;
    wxString caption;
    long style = 0;
};

// Answers every modal dialog without showing it and records what was asked. The
// language dialog gets the configured choice; message boxes are confirmed; any
// other dialog fails the test and is cancelled, so a test never hangs on one.
class CDialogAnswers : public wxModalDialogHook {
public:
    // How long a message box stays "on screen": its own event loop runs for
    // this long before it is answered, serving timers and posted calls as a
    // real modal loop does, so that what arrives meanwhile is seen.
    int boxLoopMs = 30;
    // The most boxes that were on screen at once.
    int maxBoxesShowing = 0;
    int boxesShowing = 0;
    int languageChoice = -1;   // entry to select in the language dialog; -1 leaves it
    int languageEndId = 5100;  // wxID_OK: how the language dialog ends (OK or Esc)
    // Called for each message box while it is on screen, before it is
    // confirmed (runs on the UI thread, inside the box's loop).
    std::function<void(const CRecordedDialog&)> onMessage;
    // The button that answers a message box (wxID_OK when not set).
    std::function<int(const CRecordedDialog&)> answer;
    // Takes any other dialog (instead of failing the test); it is then confirmed.
    std::function<void(wxDialog*)> onOther;
    // Lets any other dialog really run its modal loop, and drives it from
    // inside that loop: called once the loop runs; it must end the dialog.
    std::function<void(wxDialog*)> driveModal;

    std::vector<CRecordedDialog> dialogs;
    std::vector<CRecordedDialog> Messages() const;

protected:
    int Enter(wxDialog* dialog) override;
    // What the dialog is answered with; wxID_NONE lets it run its own loop.
    int Answer(wxDialog* dialog);
    // Runs a nested event loop while a box is showing.
    void RunBoxLoop();
    void Exit(wxDialog* dialog) override;
};

// Starts the real application (frame, four pages) in the test process and drives
// it: presses controls, answers dialogs, pumps the event loop with a deadline.
class CGuiHarness {
public:
    explicit CGuiHarness(CAppOptions options = {});
    ~CGuiHarness();

    CDialogAnswers& Dialogs() { return m_answers; }
    // Runs the application's start-up (OnInit) and processes what it posted.
    bool Start();
    CTeelinkApp& App() const;

    // Sends a button press to the control `id` of the active page, as a click
    // would; refuses (false) when the control is missing, hidden or disabled.
    bool Press(int id);
    // A control of the active page by id.
    wxWindow* Control(int id) const;

    // Processes pending events, timers and idle work once.
    void Pump();
    // Pumps until `condition` holds or `timeoutMs` passes; returns the condition.
    bool PumpUntil(const std::function<bool()>& condition, int timeoutMs = 15000);
    // Pumps for a while regardless (lets timers fire).
    void PumpFor(int ms);
    // Pumps the event loop that is active now (a modal dialog's, inside it)
    // until `condition` holds or `timeoutMs` passes.
    static bool PumpActiveUntil(const std::function<bool()>& condition, int timeoutMs = 15000);

    // True once the frame has been closed and destroyed.
    bool Closed() const;

private:
    CAppOptions m_options;
    CDialogAnswers m_answers;
    std::unique_ptr<wxEventLoop> m_loop;
    bool m_started = false;
};

}  // namespace teelink
