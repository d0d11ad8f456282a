#include "cli/Commands.h"

#include "core/TeelinkDoc.h"

namespace teelink {

int RunCliCommand(const CCliOptions& options, CCliIo io) {
    CCliSession session(options, io);
    switch (options.command) {
        case CliCommand::Devices:
            return RunDevices(session);
        case CliCommand::Info:
            return RunInfo(session);
        case CliCommand::UpdateCourse:
            return RunUpdate(session, UPDATE_COURSE_DATA);
        case CliCommand::UpdateSystem:
            return RunUpdate(session, UPDATE_SYSTEM_DATA);
        case CliCommand::SaveLog:
            return RunSaveLog(session);
        case CliCommand::History:
            return RunHistory(session);
        case CliCommand::Help:
            break;  // the option parser has printed the help
    }
    return 2;
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
