#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <ostream>
#include <string_view>

#include "cli/ExitCodes.h"

namespace teelink {

namespace {

constexpr const char* kFooter =
    "Exit status:\n"
    "  0    done\n"
    "  1    the operation failed (the reason is on standard error)\n"
    "  2    usage error\n"
    "  3    no device, or more than one without --device, or the device is in use\n"
    "  4    the update server could not be reached\n"
    "  5    a device is connected, but this user may not open it (install the udev rule)\n"
    "  6    update --verify: the device refused to read back what was written\n"
    "  129  stopped because the terminal closed (SIGHUP), between two blocks\n"
    "  130  cancelled with Ctrl-C (SIGINT), between two blocks\n"
    "  143  stopped by SIGTERM, between two blocks\n";

bool HasEmulatorBus() {
    return *teelink::build::kEmulatorBus != '\0';
}

// An update script's address: http or https, a host, the rest as it comes.
std::string CheckUrl(const std::string& url) {
    for (std::string_view scheme : {"http://", "https://"}) {
        if (url.rfind(scheme, 0) == 0) {
            const std::string_view rest = std::string_view(url).substr(scheme.size());
            const size_t hostEnd = rest.find_first_of("/?#");
            const std::string_view host = rest.substr(0, hostEnd);
            if (!host.empty() && host.find_first_of(" \t\r\n") == std::string_view::npos &&
                host.front() != ':') {
                return {};
            }
        }
    }
    return "not an http:// or https:// URL: " + url;
}

// The options every command takes, on the program and on each command, so
// that each command's help lists them and they may stand before or after it.
void AddGlobalOptions(CLI::App& app, CCliOptions& options) {
    app.add_option("--server", options.serverUrl, "update server script URL")
        ->type_name("URL")
        ->check(CLI::Validator(CheckUrl, "URL", "URL"))
        ->default_str(teelink::build::kUpdateUrl);
    auto* proxy = app.add_option("--proxy", options.proxyUrl,
                                 "send requests through this proxy "
                                 "(http://[user:password@]host:port), whatever the system says")
                      ->type_name("URL");
    app.add_flag("--no-proxy", options.noProxy, "send requests directly, whatever the system says")
        ->excludes(proxy);
    if (HasEmulatorBus()) {
        app.add_option("--bus", options.busDir,
                       std::string("look only on the emulator bus in DIR (the default is the "
                                   "USB bus and ") +
                           teelink::build::kEmulatorBus + ")")
            ->type_name("DIR");
    }
    app.add_option("--device", options.devicePath,
                   "the device to use, as listed by `devices` (needed when several are "
                   "connected)")
        ->type_name("PATH");
    app.add_option("--language", options.language,
                   "language of messages and server requests: 0 Japanese, 1 English, 2 "
                   "Korean, 3 Simplified Chinese, 4 Traditional Chinese (default: from "
                   "LC_ALL, LC_MESSAGES or LANG, else 1)")
        ->check(CLI::Range(0, LANGUAGE_COUNT - 1))
        ->type_name("N");
    // A later value wins, so a wrapper script's defaults can be overridden.
    for (CLI::Option* option : app.get_options()) {
        option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }
    app.add_flag("--json", options.json,
                 "print JSON lines instead of text (errors too, on standard error)");
    app.add_flag("--quiet", options.quiet, "print nothing but errors");
}

CLI::App* AddCommand(CLI::App& parent, const std::string& name, const std::string& about,
                     CCliOptions& options, std::optional<CliCommand> command) {
    CLI::App* sub = parent.add_subcommand(name, about);
    if (command) {
        sub->callback([&options, which = *command] { options.command = which; });
        AddGlobalOptions(*sub, options);
    }
    return sub;
}

void AddCommands(CLI::App& app, CCliOptions& options) {
    AddCommand(app, "devices", "list every connected device, one line each", options,
               CliCommand::Devices);
    AddCommand(app, "info", "the device, the server's latest versions, available updates", options,
               CliCommand::Info);
    CLI::App* update = AddCommand(app, "update", "download and write new data", options, {});
    update->require_subcommand(1);
    CLI::App* course = AddCommand(*update, "course", "write the latest course data", options,
                                  CliCommand::UpdateCourse);
    course->add_option("--area", options.area, "course area code (default: the first area)")
        ->type_name("CODE");
    CLI::App* system =
        AddCommand(*update, "system", "write the latest system data (firmware and voice)", options,
                   CliCommand::UpdateSystem);
    system->add_flag("--yes", options.yes, "do not ask for confirmation on a terminal");
    for (CLI::App* sub : {course, system}) {
        sub->add_flag("--verify", options.verify,
                      "read every written block back and compare it (a difference fails; a "
                      "device that refuses the read-back is exit status 6)");
    }
    CLI::App* log = AddCommand(app, "save-log",
                               "save the marked positions to a .trv file (.trv is added to a "
                               "name without an extension)",
                               options, CliCommand::SaveLog);
    log->add_option("FILE", options.logFile, "the .trv file to write")->required();
    log->add_flag("--force", options.force, "replace FILE if it exists");
    CLI::App* help =
        AddCommand(app, "help", "explain the program or one command", options, CliCommand::Help);
    AddCommand(app, "history", "what this machine's updates and log saves wrote, newest last",
               options, CliCommand::History);
    AddCommand(app, "doctor",
               "what stands between this machine and a working update, and what to do", options,
               CliCommand::Doctor);
    help->add_option("COMMAND", options.helpTopic,
                     "devices, info, update, save-log, history, doctor or help");
}

// The help of the program, of one command, or of "update course"/"update system".
int PrintHelp(CLI::App& app, const std::string& topic, std::ostream& out, std::ostream& err) {
    if (topic.empty()) {
        out << app.help();
        return CLI_EXIT_DONE;
    }
    const std::string name = topic.substr(0, topic.find(' '));
    const CLI::App* sub = nullptr;
    try {
        sub = app.get_subcommand(name);
    } catch (const CLI::OptionNotFound&) {
    }
    if (sub == nullptr) {
        err << "teelink-cli: no command " << topic << " (see `teelink-cli help`)\n";
        return CLI_EXIT_USAGE;
    }
    out << sub->help();
    return CLI_EXIT_DONE;
}

}  // namespace

int LanguageFromLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    const char* locale = nullptr;
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    if (locale == nullptr) {
        return LANGUAGE_ENGLISH;
    }
    const std::string_view name(locale);
    const auto is = [&name](std::string_view prefix) {
        return name.substr(0, prefix.size()) == prefix;
    };
    if (is("ja")) {
        return LANGUAGE_JAPANESE;
    }
    if (is("ko")) {
        return LANGUAGE_KOREAN;
    }
    if (is("zh")) {
        const bool traditional = name.find("TW") != std::string_view::npos ||
                                 name.find("HK") != std::string_view::npos ||
                                 name.find("MO") != std::string_view::npos ||
                                 name.find("Hant") != std::string_view::npos;
        return traditional ? LANGUAGE_CHINESE_TRADITIONAL : LANGUAGE_CHINESE_SIMPLIFIED;
    }
    return LANGUAGE_ENGLISH;
}

std::optional<int> ParseCliOptions(int argc, const char* const argv[], CCliOptions& options,
                                   std::ostream& out, std::ostream& err) {
    CLI::App app("Updates a Zorvik golf GPS device (R7, R8, KS2) from the command line.",
                 "teelink-cli");
    app.set_version_flag("--version",
                         std::string("teelink-cli ") + teelink::build::kProductVersion);
    app.footer(kFooter);
    app.require_subcommand(1);
    options.language =
        LanguageFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
    AddGlobalOptions(app, options);
    AddCommands(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? CLI_EXIT_DONE : CLI_EXIT_USAGE;
    }
    if (options.command == CliCommand::Help) {
        return PrintHelp(app, options.helpTopic, out, err);
    }
    return std::nullopt;
}

}  // namespace teelink
