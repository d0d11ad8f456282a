// teelink-cli doctor: what stands between this machine and a working update,
// step by step, each failing step with what to do about it.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonLine.h"
#include "cli/ShownText.h"
#include "core/TeelinkDoc.h"
#include "startup/StartupRequests.h"
#include "updateclient/RequestForms.h"
#include "updateclient/SystemProxy.h"

namespace teelink {

namespace {

struct CCheck {
    std::string step;  // "devices", "udev rule", "proxy", "server", "free space"
    bool ok = true;
    std::string finding;
    std::string todo;  // what to do when it is not ok
};

void DeviceChecks(CCliSession& session, std::vector<CCheck>& checks) {
    const int count = session.Devices().Enumerate();
    const std::vector<CUnusableDevice>& unusable = session.Devices().Unusable();
    for (const CDevice& device : session.Devices().Found()) {
        checks.push_back({"device", true, Shown(device.Path()) + " can be opened", ""});
    }
    for (const CUnusableDevice& device : unusable) {
        checks.push_back({"device", false, DescribeUnusable(device, ShownField),
                          device.problem == DeviceProblem::InUse
                              ? "close the program that works on it, or wait until it has "
                                "finished"
                              : RemedyFor(device.problem)});
    }
    if (count == 0 && unusable.empty()) {
        checks.push_back({"device", false, "no device found",
                          "connect the device with its USB cable and switch it on (the KS2 "
                          "needs its power switch on); on Linux see the udev rule below"});
    }
}

#if defined(__linux__)
void UdevCheck(std::vector<CCheck>& checks) {
    for (const char* path :
         {"/usr/lib/udev/rules.d/70-zorvik.rules", "/etc/udev/rules.d/70-zorvik.rules",
          "/lib/udev/rules.d/70-zorvik.rules"}) {
        if (std::filesystem::exists(path)) {
            checks.push_back({"udev rule", true, std::string(path) + " is installed", ""});
            return;
        }
    }
    checks.push_back({"udev rule", false, "the rule that lets you open the device is not installed",
                      "install the Teelink package (it installs "
                      "/usr/lib/udev/rules.d/70-zorvik.rules), or copy the rule there, then "
                      "plug the device in again"});
}
#endif

// The server's start-up question, answered and framed as the tool expects.
void ServerCheck(CCliSession& session, std::vector<CCheck>& checks) {
    const std::string url = session.Options().serverUrl;
    checks.push_back({"proxy", true,
                      DescribeProxy(PlanProxy(LatestVersionsUrl(session.Doc().m_strScriptUrl),
                                              session.Doc().m_serverSettings)),
                      ""});
    const Status answered = QueryLatestVersions(session.Doc(), session.Io().interrupted);
    if (answered) {
        checks.push_back({"server", true, Shown(url) + " answers as an update server", ""});
        return;
    }
    const std::string cause = Shown(answered.Failure().Detail());
    checks.push_back(
        {"server", false,
         (answered.Code() == -1 ? "cannot reach " : "no update server's answer from ") +
             Shown(url) + (cause.empty() ? "" : ": " + cause),
         "check that the computer is online; if your network needs a proxy, set it in the "
         "system's settings or give --proxy URL; a certificate error means the connection "
         "is being intercepted"});
}

void SpaceCheck(std::vector<CCheck>& checks) {
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    const std::filesystem::space_info space = std::filesystem::space(here, ec);
    if (ec) {
        checks.push_back({"free space", false, "cannot tell the free space of " + here.string(),
                          "save logs to a folder you can write to"});
        return;
    }
    // A saved log is 64 KiB and its temporary copy as much again.
    const bool ok = space.available >= 256 * 1024;
    checks.push_back({"free space", ok,
                      std::to_string(space.available / (1024 * 1024)) + " MiB free in " +
                          Shown(here.string()) + ", where save-log writes by default",
                      ok ? "" : "free some space, or save the log elsewhere"});
}

}  // namespace

int RunDoctor(CCliSession& session) {
    std::vector<CCheck> checks;
    DeviceChecks(session, checks);
#if defined(__linux__)
    UdevCheck(checks);
#endif
    ServerCheck(session, checks);
    SpaceCheck(checks);
    bool allOk = true;
    for (const CCheck& check : checks) {
        allOk = allOk && check.ok;
        if (session.Options().json) {
            CJsonLine line;
            line.Add("step", check.step).AddBool("ok", check.ok).Add("finding", check.finding);
            if (!check.ok) {
                line.Add("todo", check.todo);
            }
            session.Io().out << line.Text() << '\n';
        } else {
            session.Io().out << (check.ok ? "ok    " : "FAIL  ") << check.step << ": "
                             << check.finding << '\n';
            if (!check.ok) {
                session.Io().out << "      what to do: " << check.todo << '\n';
            }
        }
    }
    session.Io().out << std::flush;
    return allOk ? CLI_EXIT_DONE : CLI_EXIT_FAILED;
}

}  // namespace teelink
