// save-log: the log read as the log page runs it, then the .trv file.
#include <filesystem>
#include <system_error>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonLine.h"
#include "cli/QueuedReport.h"
#include "cli/ShownText.h"
#include "history/History.h"
#include "identity/DeviceReads.h"
#include "trevlog/LogHistory.h"
#include "trevlog/LogReader.h"

namespace teelink {

namespace {

// The log read as the log page runs it, its reports and texts turned into lines.
class CLogRead {
public:
    enum class End { Done, Cancelled, Failed };

    End Run(CCliSession& session, CProgressView& view) {
        m_runner.Start(
            CJobPlace{session.Device(), session.Doc().m_serverSettings},
            [this](const CJobContext& context) { return LogReadJob(context, m_report); },
            [this](Result<LogImage>& read) {
                const bool cancelled = !read && read.Failure().Kind() == FailureKind::Cancelled;
                if (read) {
                    m_image = std::move(read.Value());
                }
                const End end = read ? End::Done : cancelled ? End::Cancelled : End::Failed;
                m_report.End(LogNotice{}, static_cast<int>(end));
            });
        bool cancelAsked = false;
        for (;;) {
            if (!cancelAsked && session.Io().Interrupted()) {
                m_runner.Cancel();
                cancelAsked = true;
            }
            const auto event = m_report.Next(std::chrono::milliseconds(50));
            if (!event) {
                view.Tick();
            } else if (event->isProgress) {
                view.Position(event->position);
            } else if (!event->text.empty()) {
                view.Finish();
                session.Complain(event->text);
            } else if (event->last) {
                view.Finish();
                return static_cast<End>(event->param);
            }
        }
    }

    const LogImage& Image() const { return m_image; }

private:
    LogImage m_image;
    CQueuedReport<LogNotice> m_report;
    CJobRunner<LogImage> m_runner{m_report, m_report};  // last: joined before the report goes
};

// Why `path` cannot take the log, in words; empty when it can.
std::string Refusal(SaveResult result, const std::string& path) {
    switch (result) {
        case SaveResult::Saved:
            return {};
        case SaveResult::Exists:
            return path + " exists; --force replaces it";
        case SaveResult::NotRegular:
            return path +
                   " is not a regular file (a folder, a device, a pipe or a broken link); "
                   "nothing was replaced";
        case SaveResult::CreateError:
            return "cannot create a file at " + path;
        case SaveResult::WriteError:
            return "cannot write " + path;
    }
    return "cannot write " + path;
}

void SayResult(CCliSession& session, const std::string& outcome, const std::string& text,
               const std::string& file) {
    session.MarkResultTold();
    if (session.Options().json) {
        session.Say(
            CJsonLine().Add("event", "result").Add("outcome", outcome).Add("file", file).Text());
    } else {
        session.Say(text);
    }
}

}  // namespace

int RunSaveLog(CCliSession& session) {
    // A name without an extension gets the log file's, as in the window.
    const std::filesystem::path path = WithLogExtension(session.Options().logFile);
    const std::string file = path.string();
    const std::string shown = Shown(file);
    const SaveMode mode = session.Options().force ? SaveMode::Replace : SaveMode::KeepExisting;
    // Checked before the device is touched: what is there is never at risk, and
    // a log that could not be saved is not read for nothing.
    if (const std::string refusal = Refusal(CheckTrvTarget(path, mode), shown); !refusal.empty()) {
        session.Complain(refusal);
        return CLI_EXIT_FAILED;
    }
    if (const auto exit = session.ChooseDevice()) {
        return *exit;
    }
    if (!session.ReadIdentity()) {
        return CLI_EXIT_FAILED;
    }
    CProgressView view(session.Io().out, StyleFor(session.Options(), session.Io()));
    view.Phase(session.Text(MSG_LOG_TITLE), "read");
    CLogRead read;
    switch (read.Run(session, view)) {
        case CLogRead::End::Cancelled:
            SayResult(session, "cancelled", session.Text(MSG_OPERATION_ABORTED), file);
            return session.Io().InterruptedExit();
        case CLogRead::End::Failed:
            // The device's own texts came first; the user must also know
            // that no file was made.
            session.MarkResultTold();
            session.Complain("the log could not be read; nothing was saved to " + shown);
            if (session.Options().json) {
                session.Say(CJsonLine()
                                .Add("event", "result")
                                .Add("outcome", "read failed")
                                .Add("file", file)
                                .Text());
            }
            return CLI_EXIT_FAILED;
        case CLogRead::End::Done:
            break;
    }
    // Without --force, a file that appeared while the log was read is kept too.
    const SaveResult saved = SaveTrvFile(path, session.Doc().m_szModelId, read.Image(), mode);
    if (Status recorded = RecordLogSave(CHistoryFile::DefaultPath(), "teelink-cli", session.Doc(),
                                        path, read.Image(), saved);
        !recorded) {
        session.Complain("warning: the update history was not written: " +
                         Shown(recorded.Failure().Texts().front()));
    }
    if (const std::string refusal = Refusal(saved, shown); !refusal.empty()) {
        session.Complain(refusal);
        return CLI_EXIT_FAILED;
    }
    SayResult(session, "saved", "saved " + shown, file);
    return CLI_EXIT_DONE;
}

}  // namespace teelink
