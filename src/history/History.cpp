#include "history/History.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace teelink {

namespace {

constexpr const char* kEndField = "end=1";

std::string Escape(const std::string& value) {
    std::string out;
    for (const char c : value) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

bool ParseNumber(const std::string& text, uint64_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 19) {
        return false;
    }
    value = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

bool ParseIso(const std::string& text, std::chrono::system_clock::time_point& time) {
    std::tm parts{};
    char zone = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &parts.tm_year, &parts.tm_mon,
                    &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &zone) != 7 ||
        zone != 'Z') {
        return false;
    }
    using namespace std::chrono;
    const year_month_day day{year(parts.tm_year), month(static_cast<unsigned>(parts.tm_mon)),
                             std::chrono::day(static_cast<unsigned>(parts.tm_mday))};
    if (!day.ok()) {
        return false;
    }
    time = sys_days(day) + hours(parts.tm_hour) + minutes(parts.tm_min) + seconds(parts.tm_sec);
    return true;
}

std::filesystem::path OldGeneration(const std::filesystem::path& path) {
    std::filesystem::path old = path;
    old.replace_extension(".1" + path.extension().string());
    return old;
}

std::FILE* OpenFile(const std::filesystem::path& path, bool append) {
#ifdef _WIN32
    return _wfopen(path.c_str(), append ? L"ab" : L"rb");
#else
    return std::fopen(path.c_str(), append ? "ab" : "rb");
#endif
}

void ReadInto(const std::filesystem::path& path, std::vector<CHistoryRecord>& records,
              size_t& skipped) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        CHistoryRecord record;
        if (ParseHistoryLine(line, record)) {
            records.push_back(std::move(record));
        } else if (!line.empty()) {
            ++skipped;
        }
    }
}

}  // namespace

std::string IsoUtc(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(time);
    const year_month_day day{floor<days>(seconds)};
    const hh_mm_ss clock{seconds - floor<days>(seconds)};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ldZ", int(day.year()),
                  unsigned(day.month()), unsigned(day.day()), long(clock.hours().count()),
                  long(clock.minutes().count()), long(clock.seconds().count()));
    return text;
}

std::string FormatHistoryLine(const CHistoryRecord& r) {
    std::string line = "time=" + IsoUtc(r.time);
    const auto field = [&line](const char* key, const std::string& value) {
        line += std::string("\t") + key + "=" + Escape(value);
    };
    field("program", r.program);
    field("operation", r.operation);
    field("model", r.model);
    field("hardware", r.hardware);
    field("system_version", r.systemVersion);
    field("course_date", r.courseDate);
    field("package_bytes", std::to_string(r.packageBytes));
    field("package_sha256", r.packageSha256);
    field("entries", std::to_string(r.entries));
    field("blocks_written", std::to_string(r.blocksWritten));
    field("blocks_total", std::to_string(r.blocksTotal));
    field("file", r.file);
    field("result", r.result);
    for (const std::string& text : r.texts) {
        field("text", text);
    }
    return line + "\t" + kEndField;
}

bool ParseHistoryLine(const std::string& line, CHistoryRecord& r) {
    std::map<std::string, std::string> fields;
    std::vector<std::string> texts;
    bool ended = false;
    for (size_t at = 0; at <= line.size();) {
        size_t end = line.find('\t', at);
        end = end == std::string::npos ? line.size() : end;
        const std::string field = line.substr(at, end - at);
        at = end + 1;
        const size_t equals = field.find('=');
        if (equals == std::string::npos || ended) {
            return false;  // nothing may follow the end mark
        }
        const std::string key = field.substr(0, equals);
        const std::string value = Unescape(field.substr(equals + 1));
        if (field == kEndField) {
            ended = true;
        } else if (key == "text") {
            texts.push_back(value);
        } else {
            fields[key] = value;
        }
    }
    if (!ended || !ParseIso(fields["time"], r.time) ||
        !ParseNumber(fields["package_bytes"], r.packageBytes) ||
        !ParseNumber(fields["entries"], r.entries) ||
        !ParseNumber(fields["blocks_written"], r.blocksWritten) ||
        !ParseNumber(fields["blocks_total"], r.blocksTotal)) {
        return false;
    }
    r.program = fields["program"];
    r.operation = fields["operation"];
    r.model = fields["model"];
    r.hardware = fields["hardware"];
    r.systemVersion = fields["system_version"];
    r.courseDate = fields["course_date"];
    r.packageSha256 = fields["package_sha256"];
    r.file = fields["file"];
    r.result = fields["result"];
    r.texts = std::move(texts);
    return true;
}

std::filesystem::path CHistoryFile::DefaultPath() {
#ifdef _WIN32
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    return local == nullptr || *local == 0
               ? std::filesystem::path()
               : std::filesystem::path(local) / "Teelink" / "history.log";
#else
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && *state == '/') {
        return std::filesystem::path(state) / "teelink" / "history.log";
    }
    const char* home = std::getenv("HOME");
    return home == nullptr || *home != '/'
               ? std::filesystem::path()
               : std::filesystem::path(home) / ".local" / "state" / "teelink" / "history.log";
#endif
}

namespace {

// Whether the file's last line has no end (a writer was killed during it).
bool EndsTorn(const std::filesystem::path& path) {
    std::FILE* file = OpenFile(path, false);
    if (file == nullptr) {
        return false;
    }
    bool torn = false;
    if (std::fseek(file, -1, SEEK_END) == 0) {
        torn = std::fgetc(file) != '\n';
    }
    std::fclose(file);
    return torn;
}

}  // namespace

Status CHistoryFile::Append(const CHistoryRecord& record) const {
    if (m_path.empty()) {
        return CFailure("no folder for the update history (neither XDG_STATE_HOME nor HOME)");
    }
    std::error_code ec;
    std::filesystem::create_directories(m_path.parent_path(), ec);
    const auto size = std::filesystem::file_size(m_path, ec);
    if (!ec && size >= m_maxBytes) {
        std::filesystem::rename(m_path, OldGeneration(m_path), ec);
    }
    // A writer killed in the middle of a line leaves it without its end: the
    // new record starts on a line of its own, so that the torn one is skipped
    // alone and does not take this record with it.
    std::string line;
    if (EndsTorn(m_path)) {
        line += '\n';
    }
    line += FormatHistoryLine(record);
    line += '\n';
    std::FILE* file = OpenFile(m_path, true);
    if (file == nullptr) {
        return CFailure("cannot open " + m_path.string());
    }
    bool ok =
        std::fwrite(line.data(), 1, line.size(), file) == line.size() && std::fflush(file) == 0;
#ifdef _WIN32
    ok = ok && _commit(_fileno(file)) == 0;
#else
    ok = ok && ::fsync(fileno(file)) == 0;
#endif
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        return CFailure("cannot write " + m_path.string());
    }
    return Success();
}

std::vector<CHistoryRecord> CHistoryFile::Read(size_t* skipped) const {
    std::vector<CHistoryRecord> records;
    size_t bad = 0;
    ReadInto(OldGeneration(m_path), records, bad);
    ReadInto(m_path, records, bad);
    if (skipped != nullptr) {
        *skipped = bad;
    }
    return records;
}

}  // namespace teelink
