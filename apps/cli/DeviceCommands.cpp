// The commands that read: the device list, the device against the server's
// latest versions, and the log saved to a file.
#include <algorithm>

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonLine.h"
#include "cli/ShownText.h"
#include "identity/DeviceReads.h"
#include "startup/StartupRequests.h"
#include "startup/ToolUpdate.h"
#include "updateclient/TextConvert.h"

namespace teelink {

namespace {

// The device's fields as `devices --json` and `info --json` print them.
CJsonLine DeviceJson(const std::string& path, const CTeelinkDoc& doc) {
    CJsonLine line;
    line.Add("path", path)
        .Add("model", WideToUtf8(doc.m_strModel))
        .Add("hardware_code", WideToUtf8(doc.m_strModelCode))
        .Add("system_version", WideToUtf8(doc.m_strSystemVersion));
    const std::string date = CourseDateText(doc);
    if (date.empty()) {
        line.AddNull("course_data_date").AddNull("course_data_date_raw");
    } else {
        // The device's own text beside it, for whoever needs it unchanged.
        line.Add("course_data_date", IsoCourseDate(date)).Add("course_data_date_raw", date);
    }
    return line;
}

void PrintDevice(CCliSession& session, const std::string& path, bool readable) {
    const CTeelinkDoc& doc = session.Doc();
    if (session.Options().json) {
        session.Say(readable ? DeviceJson(path, doc).AddBool("readable", true).Text()
                             : CJsonLine().Add("path", path).AddBool("readable", false).Text());
    } else if (readable) {
        const std::string date = IsoCourseDate(CourseDateText(doc));
        session.Say(Shown(path) + '\t' + Shown(WideToUtf8(doc.m_strModel)) + '\t' +
                    Shown(WideToUtf8(doc.m_strModelCode)) + '\t' +
                    Shown(WideToUtf8(doc.m_strSystemVersion)) + '\t' +
                    (date.empty() ? "none" : Shown(date)));
    } else {
        session.Say(Shown(path) + "\tunreadable");
    }
}

// A device that is there but cannot be used, listed after the usable ones.
void PrintUnusable(CCliSession& session, const CUnusableDevice& device) {
    if (session.Options().json) {
        CJsonLine line;
        line.Add("path", device.path)
            .AddBool("readable", false)
            .AddBool("usable", false)
            .Add("reason", ProblemKey(device.problem));
        if (!device.holder.empty()) {
            line.Add("holder", device.holder);
        }
        session.Say(line.Text());
        return;
    }
    session.Say(Shown(device.path) + "\tnot usable: " +
                (device.problem == DeviceProblem::InUse
                     ? "in use by " + (device.holder.empty() ? std::string("another program")
                                                             : Shown(device.holder))
                     : std::string("permission denied")));
}

}  // namespace

int RunDevices(CCliSession& session) {
    const int count = session.Devices().Enumerate();
    // Each device is read on its own.
    const std::vector<CDevice> found = session.Devices().Found();
    const std::vector<CUnusableDevice> unusable = session.Devices().Unusable();
    bool allRead = true;
    for (const CDevice& device : found) {
        session.UseDevice(device);
        const bool readable = session.ReadDevice();
        allRead = allRead && readable;
        PrintDevice(session, device.Path(), readable);
    }
    for (const CUnusableDevice& device : unusable) {
        PrintUnusable(session, device);
    }
    if (count == 0) {
        return session.NoDevice();
    }
    return allRead ? CLI_EXIT_DONE : CLI_EXIT_FAILED;
}

int RunInfo(CCliSession& session) {
    if (const auto exit = session.ChooseDevice()) {
        return *exit;
    }
    if (!session.ReadDevice()) {
        return CLI_EXIT_FAILED;
    }
    if (const auto exit = session.QueryServer()) {
        return *exit;
    }
    const CTeelinkDoc& doc = session.Doc();
    const std::string latest = WideToUtf8(LatestVersionForModel(doc));
    // The same comparison that marks the version on the main page.
    const bool systemUpdate = doc.m_strSystemVersion != LatestVersionForModel(doc);
    const bool toolUpdate = !IsToolCurrent(doc.m_strToolVersion, doc.m_strLatestTool);
    if (session.Options().json) {
        CJsonLine line = DeviceJson(session.Device().Path(), doc);
        line.Add("latest_system_version", latest)
            .Add("tool_version", WideToUtf8(doc.m_strToolVersion))
            .Add("latest_tool_version", WideToUtf8(doc.m_strLatestTool))
            .AddBool("system_update_available", systemUpdate)
            .AddBool("tool_update_available", toolUpdate);
        session.Say(line.Text());
        return CLI_EXIT_DONE;
    }
    session.Say("device:                " + Shown(session.Device().Path()));
    session.Say("model:                 " + Shown(WideToUtf8(doc.m_strModel)));
    session.Say("hardware code:         " + Shown(WideToUtf8(doc.m_strModelCode)));
    session.Say("system version:        " + Shown(WideToUtf8(doc.m_strSystemVersion)));
    const std::string date = IsoCourseDate(CourseDateText(doc));
    session.Say("course data date:      " + (date.empty() ? std::string("none") : Shown(date)));
    session.Say("latest system version: " + Shown(latest));
    session.Say("tool version:          " + Shown(WideToUtf8(doc.m_strToolVersion)));
    session.Say("latest tool version:   " + Shown(WideToUtf8(doc.m_strLatestTool)));
    session.Say(std::string("system data update:    ") + (systemUpdate ? "available" : "none"));
    session.Say(std::string("tool update:           ") + (toolUpdate ? "available" : "none"));
    return CLI_EXIT_DONE;
}

}  // namespace teelink
