#include "cli/Commands.h"

#include "cli/ExitCodes.h"
#include "core/TeelinkDoc.h"

namespace teelink {

namespace {

// The read-only commands end with their output: one that could not be written
// fails them, since nothing else came of them. The device writing commands
// never stop for their output.
int Reported(CCliSession& session, int exit) {
    std::ostream& out = session.Io().out;
    out.flush();
    if (!out.fail()) {
        return exit;
    }
    session.Complain("the output could not be written");
    return exit == CLI_EXIT_DONE ? CLI_EXIT_FAILED : exit;
}

int Dispatch(CCliSession& session) {
    switch (session.Options().command) {
        case CliCommand::Devices:
            return Reported(session, RunDevices(session));
        case CliCommand::Info:
            return Reported(session, RunInfo(session));
        case CliCommand::UpdateCourse:
            return RunUpdate(session, UPDATE_COURSE_DATA);
        case CliCommand::UpdateSystem:
            return RunUpdate(session, UPDATE_SYSTEM_DATA);
        case CliCommand::SaveLog:
            return RunSaveLog(session);
        case CliCommand::History:
            return RunHistory(session);
        case CliCommand::Doctor:
            return RunDoctor(session);
        case CliCommand::Help:
            break;  // the option parser has printed the help
    }
    return CLI_EXIT_USAGE;
}

}  // namespace

int RunCliCommand(const CCliOptions& options, CCliIo io) {
    CCliSession session(options, io);
    const int exit = Dispatch(session);
    // A signal wherever it came (the start-up queries, the question, a device
    // read) ends the command with the same words as a cancel, once.
    if (session.Io().Interrupted() && !session.ResultTold()) {
        session.TellAborted();
        return session.Io().InterruptedExit();
    }
    return exit;
}

ProgressStyle StyleFor(const CCliOptions& options, const CCliIo& io) {
    if (options.quiet) {
        return ProgressStyle::Quiet;
    }
    if (options.json) {
        return ProgressStyle::Json;
    }
    return io.terminal ? ProgressStyle::Bar : ProgressStyle::Lines;
}

}  // namespace teelink
