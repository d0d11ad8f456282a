// update course / update system: the update run driven as the update page
// drives it, with the window's boxes turned into lines.
#include <algorithm>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonLine.h"
#include "cli/QueuedReport.h"
#include "cli/ShownText.h"
#include "update/UpdateRun.h"
#include "updateclient/TextConvert.h"

namespace teelink {

namespace {

// The area of --area in the server's list (the first without it); otherwise
// the exit status after saying which codes there are.
std::optional<int> ChooseArea(CCliSession& session) {
    CTeelinkDoc& doc = session.Doc();
    const std::string& code = session.Options().area;
    if (doc.m_areaList.empty()) {
        session.Complain("the update server offers no course area");
        return CLI_EXIT_FAILED;
    }
    if (code.empty()) {
        doc.m_nAreaIndex = 0;
        return std::nullopt;
    }
    const auto& areas = doc.m_areaList;
    const auto found = std::find_if(areas.begin(), areas.end(), [&code](const CAreaList& area) {
        return WideToUtf8(area.code) == code;
    });
    if (found == areas.end()) {
        std::string known;
        for (const CAreaList& area : areas) {
            known += (known.empty() ? "" : ", ") + Shown(WideToUtf8(area.code));
        }
        session.Complain("unknown area " + Shown(code) + " (the server offers " + known + ")");
        return CLI_EXIT_USAGE;
    }
    doc.m_nAreaIndex = static_cast<int32_t>(found - areas.begin());
    return std::nullopt;
}

// What the window does before its update page runs: the device is known, the
// server answers, the tool is current, an area is chosen.
std::optional<int> Prepare(CCliSession& session, int updateMode) {
    if (const auto exit = session.ChooseDevice()) {
        return exit;
    }
    if (!session.ReadDevice()) {
        return CLI_EXIT_FAILED;
    }
    if (const auto exit = session.StartUp()) {
        return exit;
    }
    session.Doc().m_nUpdateMode = updateMode;
    return updateMode == UPDATE_COURSE_DATA ? ChooseArea(session) : std::nullopt;
}

// A system update on a terminal asks first: the device then rewrites its own
// firmware. True to go on.
bool Confirmed(CCliSession& session) {
    const CCliOptions& options = session.Options();
    if (options.yes || !session.Io().inputTerminal ||
        session.Doc().m_nUpdateMode != UPDATE_SYSTEM_DATA) {
        return true;
    }
    const CTeelinkDoc& doc = session.Doc();
    session.Io().err << "Write the latest system data (firmware and voice) to the "
                     << Shown(WideToUtf8(doc.m_strModel)) << " at "
                     << Shown(session.Device().Path())
                     << "?\nThe device then updates its firmware by itself for about two "
                        "minutes; keep it connected and powered. [y/N] "
                     << std::flush;
    // Ctrl-C ends the wait for the answer at once.
    const CCliIo& io = session.Io();
    while (io.inputReady && !io.inputReady(std::chrono::milliseconds(100))) {
        if (io.Interrupted()) {
            return false;
        }
    }
    std::string answer;
    if (io.Interrupted() || !std::getline(session.Io().in, answer)) {
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

int Outcome(CCliSession& session, const CUpdateRun& run, UpdateMessage last, bool cancelled) {
    const uint64_t blocks = run.BlocksWritten();
    std::string outcome = "written";
    MessageId text = CompletionMessage(session.Doc().m_nUpdateMode,
                                       Utf8ToWide(session.Text(MSG_SYSTEM_WRITE_COMPLETE).c_str()));
    int exit = CLI_EXIT_DONE;
    if (cancelled || last == WM_UPDATE_DOWNLOAD_CANCELLED) {
        outcome = "cancelled";
        text = MSG_OPERATION_ABORTED;
        exit = session.Io().InterruptedExit();
    } else if (last == WM_UPDATE_VERIFY_FAILED || last == WM_UPDATE_NOT_VERIFIED) {
        outcome = last == WM_UPDATE_VERIFY_FAILED ? "verify failed" : "not verified";
        exit = last == WM_UPDATE_VERIFY_FAILED ? CLI_EXIT_FAILED : CLI_EXIT_NOT_VERIFIED;
    } else if (last != WM_UPDATE_WRITTEN) {
        outcome = last == WM_UPDATE_DOWNLOAD_FAILED ? "download failed" : "write failed";
        text = last == WM_UPDATE_DOWNLOAD_FAILED ? MSG_DOWNLOAD_FAILED : MSG_WRITE_FAILED;
        exit = CLI_EXIT_FAILED;
    }
    std::string message = session.Text(text);
    if (last == WM_UPDATE_VERIFY_FAILED) {
        message = "Written, but what the device holds differs from the package";
    } else if (last == WM_UPDATE_NOT_VERIFIED) {
        message = "Written, but not verified: the device refused the read-back";
    } else if (exit == CLI_EXIT_DONE && session.Options().verify) {
        outcome = "written and verified";
        message += ", verified";
    }
    const std::string blocksText = std::to_string(blocks) + (blocks == 1 ? " block" : " blocks");
    session.MarkResultTold();
    if (session.Options().json) {
        session.Say(CJsonLine()
                        .Add("event", "result")
                        .Add("outcome", outcome)
                        .Add("message", message)
                        .AddNumber("blocks_written", static_cast<int64_t>(blocks))
                        .Text());
    } else if (exit == CLI_EXIT_DONE) {
        session.Say(message + " (" + blocksText + " written)");
    } else {
        // On standard error, which a closed pipe of standard output leaves open.
        session.Complain(message + " (" + blocksText + " written)");
    }
    return exit;
}

// The page's message handler: the run's reports and its texts in their order,
// its last report ends it.
int Drive(CCliSession& session, CUpdateRun& run, CQueuedReport<UpdateMessage>& report) {
    CProgressView view(session.Io().out, StyleFor(session.Options(), session.Io()));
    view.Phase(session.Text(MSG_DOWNLOAD), "download");
    bool cancelAsked = false;
    bool cancelled = false;
    for (;;) {
        if (!cancelAsked && session.Io().Interrupted()) {
            run.Cancel();  // the window's Cancel button
            cancelAsked = true;
        }
        const auto event = report.Next(std::chrono::milliseconds(50));
        if (!event) {
            view.Tick();
            continue;
        }
        if (event->isProgress) {
            view.Position(event->position);
            continue;
        }
        if (!event->text.empty()) {
            // After a cancel the write's own failure text says nothing new.
            if (!cancelled) {
                view.Finish();
                session.Complain(event->text);
            }
            continue;
        }
        if (event->last) {
            view.Finish();
            if (!run.Job().m_strHistoryWarning.empty()) {
                session.Complain("warning: the update history was not written: " +
                                 Shown(run.Job().m_strHistoryWarning));
            }
            return Outcome(session, run, event->message, cancelled);
        }
        switch (event->message) {
            case WM_UPDATE_DOWNLOADED:
                view.Phase(session.Text(MSG_WRITE), "write");
                break;
            case WM_UPDATE_REMAIN_TIME:
                view.Remaining(
                    RemainingText(event->param, session.Text(MSG_REMAINING_MINUTES, event->param),
                                  session.Options().language),
                    event->param);
                break;
            case WM_UPDATE_WRITE_CANCELLED:
                cancelled = true;  // the write's failure follows
                break;
            case WM_UPDATE_VERIFYING:
                view.Phase("Verify", "verify");
                break;
            default:
                break;
        }
    }
}

}  // namespace

int RunUpdate(CCliSession& session, int updateMode) {
    if (const auto exit = Prepare(session, updateMode)) {
        return *exit;
    }
    if (!Confirmed(session)) {
        if (session.Io().Interrupted()) {
            return session.Io().InterruptedExit();  // Ctrl-C at the question
        }
        session.Complain("nothing written");
        return CLI_EXIT_FAILED;
    }
    if (session.Io().Interrupted()) {
        return session.Io().InterruptedExit();  // before anything was sent
    }
    CQueuedReport<UpdateMessage> report;
    CUpdateRun run(report, report, report, [&report](UpdateMessage end) { report.End(end); });
    run.SetHistory("teelink-cli", CHistoryFile::DefaultPath());
    CWriteSettings write;
    write.verify = session.Options().verify;
    if (!run.Start(session.Doc(), session.Devices(), write)) {
        session.Complain("nothing to download for this device");
        return CLI_EXIT_FAILED;
    }
    return Drive(session, run, report);
}

}  // namespace teelink
