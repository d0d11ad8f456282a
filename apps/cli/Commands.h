#pragma once

#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "cli/ProgressView.h"

namespace teelink {

// Runs the parsed command and returns the exit status (cli/ExitCodes.h).
int RunCliCommand(const CCliOptions& options, CCliIo io);

// The commands, each over a session of its own.
int RunDevices(CCliSession& session);
int RunInfo(CCliSession& session);
int RunUpdate(CCliSession& session, int updateMode);
int RunSaveLog(CCliSession& session);
int RunHistory(CCliSession& session);
int RunDoctor(CCliSession& session);

ProgressStyle StyleFor(const CCliOptions& options, const CCliIo& io);

}  // namespace teelink
