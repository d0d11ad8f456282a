#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>

#include <ostream>

#include "cli/ExitCodes.h"

namespace teelink {

namespace {

constexpr const char* kFooter =
    "Exit status:\n"
    "  0    done\n"
    "  1    the operation failed (the reason is on standard error)\n"
    "  2    usage error\n"
    "  3    no device, or more than one without --device\n"
    "  4    the update server could not be reached\n"
    "  130  cancelled with Ctrl-C\n";

void AddGlobalOptions(CLI::App& app, CCliOptions& options) {
    app.add_option("--server", options.serverUrl, "update server script URL")
        ->type_name("URL")
        ->default_str(teelink::build::kUpdateUrl);
    app.add_option("--bus", options.busDir,
                   std::string("look only on the emulator bus in DIR (the default is the USB "
                               "bus and ") +
                       (*teelink::build::kEmulatorBus != '\0' ? teelink::build::kEmulatorBus
                                                              : "no emulator bus") +
                       ")")
        ->type_name("DIR");
    app.add_option("--device", options.devicePath,
                   "the device to use, as listed by `devices` (needed when several are "
                   "connected)")
        ->type_name("PATH");
    app.add_option("--language", options.language,
                   "language of messages and server requests: 0 Japanese, 1 English, 2 "
                   "Korean, 3 Simplified Chinese, 4 Traditional Chinese (default 1)")
        ->check(CLI::Range(0, LANGUAGE_COUNT - 1))
        ->type_name("N");
    // A later value wins, so a wrapper script's defaults can be overridden.
    for (CLI::Option* option : app.get_options()) {
        option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }
    app.add_flag("--json", options.json, "print JSON lines instead of text");
    app.add_flag("--quiet", options.quiet, "print nothing but errors");
}

void AddCommands(CLI::App& app, CCliOptions& options) {
    const auto command = [&options](CliCommand which) {
        return [&options, which] { options.command = which; };
    };
    app.add_subcommand("devices", "list every connected device, one line each")
        ->callback(command(CliCommand::Devices));
    app.add_subcommand("info", "the device, the server's latest versions, available updates")
        ->callback(command(CliCommand::Info));
    CLI::App* update =
        app.add_subcommand("update", "download and write new data")->require_subcommand(1);
    CLI::App* course = update->add_subcommand("course", "write the latest course data")
                           ->callback(command(CliCommand::UpdateCourse));
    course->add_option("--area", options.area, "course area code (default: the first area)")
        ->type_name("CODE");
    CLI::App* system =
        update->add_subcommand("system", "write the latest system data (firmware and voice)")
            ->callback(command(CliCommand::UpdateSystem));
    CLI::App* log = app.add_subcommand("save-log", "save the marked positions to a .trv file")
                        ->callback(command(CliCommand::SaveLog));
    log->add_option("FILE", options.logFile, "the .trv file to write")->required();
    log->add_flag("--force", options.force, "replace FILE if it exists");
    // Global options may follow the command as well ("devices --json").
    for (CLI::App* sub : app.get_subcommands({})) {
        sub->fallthrough();
    }
    for (CLI::App* sub : {course, system}) {
        sub->fallthrough();
    }
}

}  // namespace

std::optional<int> ParseCliOptions(int argc, const char* const argv[], CCliOptions& options,
                                   std::ostream& out, std::ostream& err) {
    CLI::App app("Updates a Zorvik golf GPS device (R7, R8, KS2) from the command line.",
                 "teelink-cli");
    app.set_version_flag("--version",
                         std::string("teelink-cli ") + teelink::build::kProductVersion);
    app.footer(kFooter);
    app.require_subcommand(1);
    AddGlobalOptions(app, options);
    AddCommands(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? CLI_EXIT_DONE : CLI_EXIT_USAGE;
    }
    return std::nullopt;
}

}  // namespace teelink
