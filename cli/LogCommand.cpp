// save-log: the log read as the log page runs it, then the .trv file.
#include <filesystem>
#include <system_error>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonLine.h"
#include "cli/QueuedReport.h"
#include "identity/DeviceReads.h"
#include "trevlog/LogReader.h"

namespace teelink {

namespace {

// The log read as the log page runs it, its reports turned into lines.
class CLogRead {
public:
    enum class End { Done, Cancelled, Failed };

    CLogRead() { m_report.Reap(m_worker); }

    End Run(CCliSession& session, CProgressView& view) {
        const CDevice device = session.Device();
        IUserNotifier& notifier = session.Notifier();
        const CServerSettings server = session.Doc().m_serverSettings;
        m_worker.Start([this, device, &notifier, server](const std::atomic<bool>& stop) {
            LogReadJob(m_job, CJobContext{device, notifier, server, stop}, m_report);
        });
        session.Notifier().Defer(true);
        End end = End::Failed;
        for (;;) {
            session.FlushNotices(view);
            if (session.Io().Interrupted()) {
                m_job.m_bCancel.store(true);
            }
            const auto event = m_report.Next(std::chrono::milliseconds(50));
            if (!event) {
                view.Tick();
                continue;
            }
            if (event->isProgress) {
                view.Position(event->position);
                continue;
            }
            if (event->last) {
                end = event->message == WM_LOG_READ_DONE        ? End::Done
                      : event->message == WM_LOG_READ_CANCELLED ? End::Cancelled
                                                                : End::Failed;
                break;
            }
        }
        session.FlushNotices(view);
        view.Finish();
        session.Notifier().Defer(false);
        return end;
    }

    const std::vector<uint8_t>& Image() const { return m_job.readBuf; }

private:
    CLogJob m_job;
    CQueuedReport<LogMessage> m_report;
    CWorker m_worker;  // last: joined before the job and the report go away
};

void SayResult(CCliSession& session, const std::string& outcome, const std::string& text) {
    if (session.Options().json) {
        session.Say(CJsonLine()
                        .Add("event", "result")
                        .Add("outcome", outcome)
                        .Add("file", session.Options().logFile)
                        .Text());
    } else {
        session.Say(text);
    }
}

}  // namespace

int RunSaveLog(CCliSession& session) {
    const std::filesystem::path path = session.Options().logFile;
    std::error_code error;
    // Checked before the device is touched: the user's file is never at risk.
    if (std::filesystem::exists(path, error) && !session.Options().force) {
        session.Complain(path.string() + " exists; --force replaces it");
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
            SayResult(session, "cancelled", session.Text(MSG_OPERATION_ABORTED));
            return CLI_EXIT_CANCELLED;
        case CLogRead::End::Failed:
            return CLI_EXIT_FAILED;
        case CLogRead::End::Done:
            break;
    }
    if (SaveTrvFile(path, session.Doc().m_szModelId, read.Image()) != SaveResult::Saved) {
        session.Complain("cannot write " + path.string());
        return CLI_EXIT_FAILED;
    }
    SayResult(session, "saved", "saved " + path.string());
    return CLI_EXIT_DONE;
}

}  // namespace teelink
