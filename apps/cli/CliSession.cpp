#include "cli/CliSession.h"

#include <algorithm>

#include "cli/ExitCodes.h"
#include "cli/JsonLine.h"
#include "cli/ShownText.h"
#include "device/IdentityRecord.h"
#include "identity/DeviceReads.h"
#include "startup/StartupChecks.h"
#include "startup/StartupRequests.h"
#include "updateclient/TextConvert.h"

namespace teelink {

void CCliNotifier::ShowPlain(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_json) {
        m_err << CJsonLine().Add("event", "error").Add("message", text).Text() << '\n';
    } else {
        m_err << "teelink-cli: " << ShownLine(text) << '\n';
    }
    m_err.flush();
}

int CCliIo::InterruptedExit() const {
    const int number = signal != nullptr ? signal->load() : 0;
    return number > 0 ? 128 + number : CLI_EXIT_CANCELLED;
}

CDeviceBusConfig BusConfigFor(const CCliOptions& options) {
    CDeviceBusConfig config;
    if (!options.busDir.empty()) {
        // A bus named on the command line is a test or a demonstration: real
        // devices on the machine must not get in its way.
        config.emulatorBusDir = options.busDir;
        config.useHidapi = false;
    }
    return config;
}

CCliSession::CCliSession(const CCliOptions& options, CCliIo io)
    : m_options(options),
      m_io(io),
      m_notifier(io.err, options.json),
      m_devices(BusConfigFor(options)),
      m_doc(m_messages) {
    m_messages.m_nLanguage = options.language;
    m_doc.m_strScriptUrl = options.serverUrl;
    if (options.noProxy) {
        m_doc.m_serverSettings.proxyMode = ProxyMode::Direct;
    } else if (!options.proxyUrl.empty()) {
        m_doc.m_serverSettings.proxyMode = ProxyMode::Fixed;
        m_doc.m_serverSettings.proxyUrl = options.proxyUrl;
    }
}

std::string CCliSession::Text(MessageId id) const {
    return WideToUtf8(m_messages.Text(id, m_options.language));
}

std::string CCliSession::Text(MessageId id, int number) const {
    return WideToUtf8(FormatMessageInt(m_messages.Text(id, m_options.language), number));
}

void CCliSession::Say(const std::string& line) {
    if (!m_options.quiet) {
        m_io.out << (m_options.json ? line : ShownLine(line)) << '\n' << std::flush;
    }
}

void CCliSession::Complain(const std::string& line) {
    m_notifier.ShowPlain(line);
}

void CCliSession::TellAborted() {
    const std::string text = Text(MSG_OPERATION_ABORTED);
    if (m_options.json) {
        // Standard output may be gone (a closed terminal): the result line is
        // tried all the same, as a cancel of the write tries it.
        CJsonLine line;
        line.Add("event", "result").Add("outcome", "cancelled").Add("message", text);
        if (m_options.command == CliCommand::UpdateCourse ||
            m_options.command == CliCommand::UpdateSystem) {
            line.AddNumber("blocks_written", 0);  // the run had not begun
        }
        Say(line.Text());
    } else {
        Complain(text);
    }
    MarkResultTold();
}

std::optional<int> CCliSession::ChooseDevice() {
    const int count = m_devices.Enumerate();
    const std::vector<CDevice>& found = m_devices.Found();
    if (!m_options.devicePath.empty()) {
        const auto it = std::find_if(found.begin(), found.end(), [this](const CDevice& d) {
            return d.Path() == m_options.devicePath;
        });
        if (it == found.end()) {
            const auto& unusable = m_devices.Unusable();
            const auto there = std::find_if(
                unusable.begin(), unusable.end(),
                [this](const CUnusableDevice& d) { return d.path == m_options.devicePath; });
            if (there != unusable.end()) {
                return TellUnusable(*there);
            }
            Complain("no device at " + Shown(m_options.devicePath));
            return CLI_EXIT_NO_DEVICE;
        }
        m_device = *it;
        return std::nullopt;
    }
    if (count == 0) {
        return NoDevice();
    }
    if (count > 1) {
        Complain(std::to_string(count) +
                 " devices connected: choose one with --device (see `teelink-cli devices`)");
        return CLI_EXIT_NO_DEVICE;
    }
    m_device = found.front();
    return std::nullopt;
}

int CCliSession::NoDevice() {
    const std::vector<CUnusableDevice>& unusable = m_devices.Unusable();
    if (unusable.empty()) {
        Complain("no device connected");
        return CLI_EXIT_NO_DEVICE;
    }
    // Each one is told; the status is that of a device this user may not
    // open, if there is one, since waiting will not mend that.
    int exit = CLI_EXIT_NO_DEVICE;
    for (const CUnusableDevice& device : unusable) {
        const int told = TellUnusable(device);
        exit = told == CLI_EXIT_NO_ACCESS ? told : exit;
    }
    return exit;
}

int CCliSession::TellUnusable(const CUnusableDevice& device) {
    Complain(DescribeUnusable(device, ShownField) + ": " + RemedyFor(device.problem));
    return device.problem == DeviceProblem::NoPermission ? CLI_EXIT_NO_ACCESS : CLI_EXIT_NO_DEVICE;
}

void CCliSession::UseDevice(const CDevice& device) {
    m_device = device;
}

void CCliSession::ComplainAbout(const CFailure& failure, const std::string& line) {
    for (const std::string& text : failure.Texts()) {
        Complain(text);
    }
    Complain(Shown(m_device.Path()) + ": " + line);
}

bool CCliSession::ReadIdentity() {
    if (Status read = ReadDeviceIdentity(m_doc, m_device); !read) {
        ComplainAbout(read.Failure(), "cannot read the device's identity");
        return false;
    }
    m_doc.m_strDevicePath = m_device.Path();
    return true;
}

bool CCliSession::ReadDevice() {
    if (!ReadIdentity()) {
        return false;
    }
    if (Status read = ReadCourseDataDate(m_doc, m_device); !read) {
        ComplainAbout(read.Failure(), "cannot read the course data date");
        return false;
    }
    return true;
}

std::optional<int> CCliSession::QueryServer() {
    return ServerFailure(QueryLatestVersions(m_doc, m_io.interrupted));
}

std::optional<int> CCliSession::StartUp() {
    const CStartup startup = RunStartupChecks(m_doc, m_options.language, m_io.interrupted);
    if (startup.outcome == StartupOutcome::ToolOutdated) {
        Complain(Text(MSG_NEW_TOOL_VERSION));
        return CLI_EXIT_FAILED;
    }
    return ServerFailure(startup.request);
}

std::optional<int> CCliSession::ServerFailure(const Status& query) {
    if (m_io.Interrupted()) {
        return m_io.InterruptedExit();
    }
    const std::string cause = query ? std::string() : Shown(query.Failure().Detail());
    // An answer that is no success (a proxy's refusal, an error page) is no
    // update server either.
    if (query.Code() == -1 || (!query && !cause.empty())) {
        Complain("cannot reach the update server at " + Shown(m_options.serverUrl) +
                 (cause.empty() ? "" : ": " + cause));
        return CLI_EXIT_NO_SERVER;
    }
    if (!query) {
        Complain("the update server's answer is malformed (" + Shown(m_options.serverUrl) +
                 (cause.empty() ? "" : ": " + cause) + ")");
        return CLI_EXIT_FAILED;
    }
    return std::nullopt;
}

std::string IsoCourseDate(const std::string& raw) {
    if (raw.size() != 6 || raw.find_first_not_of("0123456789") != std::string::npos) {
        return raw;
    }
    const int month = std::stoi(raw.substr(2, 2));
    const int day = std::stoi(raw.substr(4, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31) {
        return raw;
    }
    return "20" + raw.substr(0, 2) + "-" + raw.substr(2, 2) + "-" + raw.substr(4, 2);
}

std::string CourseDateText(const CTeelinkDoc& doc) {
    doc.CheckThread();
    return doc.m_strCourseDate == NO_COURSE_DATE ? std::string() : WideToUtf8(doc.m_strCourseDate);
}

}  // namespace teelink
