// teelink-cli history: the records of the update history, oldest first, so
// that the newest stands last, above the prompt.
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonLine.h"
#include "cli/ShownText.h"
#include "history/History.h"

namespace teelink {

namespace {

std::string Blocks(const CHistoryRecord& r) {
    return std::to_string(r.blocksWritten) + " of " + std::to_string(r.blocksTotal) + " blocks";
}

// One record as a person reads it: when, who, what, on which device, the result.
// Every field came from a device, a server or a file name once: shown escaped.
std::string Readable(const CHistoryRecord& r) {
    std::string line = IsoUtc(r.time) + "  " + Shown(r.operation) + "  " + Shown(r.result);
    if (!r.model.empty()) {
        line += "  " + Shown(r.model) + " " + Shown(r.hardware) + " version " +
                Shown(r.systemVersion) +
                (r.courseDate.empty() ? "" : " courses " + Shown(r.courseDate));
    }
    if (r.operation == "log save") {
        line += "  " + Shown(r.file);
    } else if (r.packageBytes != 0) {
        line += "  package " + std::to_string(r.packageBytes) + " bytes sha256 " + r.packageSha256 +
                ", " + std::to_string(r.entries) + " entries, " + Blocks(r);
    }
    line += "  (" + Shown(r.program) + ")";
    for (const std::string& text : r.texts) {
        line += "\n    " + Shown(text);
    }
    return line;
}

std::string Json(const CHistoryRecord& r) {
    CJsonLine json;
    json.Add("time", IsoUtc(r.time)).Add("program", r.program).Add("operation", r.operation);
    json.Add("model", r.model).Add("hardware", r.hardware).Add("system_version", r.systemVersion);
    json.Add("course_date", r.courseDate);
    json.AddNumber("package_bytes", static_cast<int64_t>(r.packageBytes));
    json.Add("package_sha256", r.packageSha256);
    json.AddNumber("entries", static_cast<int64_t>(r.entries));
    json.AddNumber("blocks_written", static_cast<int64_t>(r.blocksWritten));
    json.AddNumber("blocks_total", static_cast<int64_t>(r.blocksTotal));
    json.Add("file", r.file).Add("result", r.result);
    std::string texts;
    for (const std::string& text : r.texts) {
        texts += (texts.empty() ? "" : "\n") + text;
    }
    json.Add("texts", texts);
    return json.Text();
}

}  // namespace

int RunHistory(CCliSession& session) {
    const CHistoryFile file(CHistoryFile::DefaultPath());
    size_t skipped = 0;
    const std::vector<CHistoryRecord> records = file.Read(&skipped);
    for (const CHistoryRecord& record : records) {
        session.Io().out << (session.Options().json ? Json(record) : Readable(record)) << '\n';
    }
    session.Io().out << std::flush;
    if (skipped != 0) {
        session.Complain(std::to_string(skipped) + " line(s) of " + file.Path().string() +
                         " are no whole record (a write cut short) and were left out");
    }
    if (records.empty() && !session.Options().json) {
        session.Say("no update or log save recorded yet in " + file.Path().string());
    }
    return CLI_EXIT_DONE;
}

}  // namespace teelink
