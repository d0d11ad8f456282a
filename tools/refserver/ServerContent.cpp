#include "refserver/ServerContent.h"

#include <algorithm>
#include <set>
#include <sstream>

#include "common/Text.h"
#include "refserver/ContentRecipe.h"
#include "refserver/PackageBuilder.h"
#include "refserver/QueryString.h"
#include "refserver/RequestForms.h"
#include "refserver/TextTable.h"

namespace teelink {

namespace fs = std::filesystem;

namespace {

using Line = CTableLine;

// The tool reads the area list in one read of 1024 bytes.
constexpr size_t kMaxAreaAnswer = 1024;
// A list's length L counts its body less one byte, in 16 bits.
constexpr size_t kMaxListAnswer = ANSWER_FRAMING.size() + 2 + 0x10000;

std::string Where(const fs::path& file, const Line& line) {
    return file.filename().string() + ":" + std::to_string(line.number) + ": ";
}

// "key value", separated by blanks or tabs; false unless there are exactly two.
bool SplitVersionLine(const Line& line, std::string& key, std::string& value) {
    std::string joined;
    for (const std::string& field : line.fields) {
        joined += field + " ";
    }
    std::istringstream words(joined);
    std::string extra;
    words >> key >> value >> extra;
    return !key.empty() && !value.empty() && extra.empty();
}

// The names of a line from `first` on, one per language, each UTF-8 of at most
// `maxBytes`.
bool NamesFit(const Line& line, size_t first, size_t maxBytes) {
    for (size_t l = 0; l < LANGUAGE_COUNT; ++l) {
        const std::string& name = line.fields[first + l];
        if (name.size() > maxBytes || !teelink::IsValidUtf8(name)) {
            return false;
        }
    }
    return true;
}

// One line of directory.tsv: the list it belongs to and its record. False with
// `why` when the line is not one.
bool ParseListLine(const Line& line, std::pair<std::string, int>& list, CListRecord& record,
                   std::string& why) {
    if (line.fields.size() != 7) {
        why = "expected query, language, id, sub, number, flags, name";
        return false;
    }
    std::string reason;
    const auto query = CheckQuery(line.fields[0], false, reason);
    if (!query || query->Md() < 6 || query->Md() > 12) {
        why = "not a course directory query (" + (query ? "md=6 to md=12" : reason) + ")";
        return false;
    }
    const auto language = ParseDecimal(line.fields[1], 0, LANGUAGE_COUNT - 1);
    const auto id = ParseDecimal(line.fields[2], 0, 0xFFFF);
    const auto sub = ParseDecimal(line.fields[3], 0, 0xFF);
    const auto number = ParseDecimal(line.fields[4], 0, 0xFFFF);
    const auto flags = ParseDecimal(line.fields[5], 0, 0xFFFF);
    if (!language || !id || !sub || !number || !flags) {
        why = "language 0-4, id 0-65535, sub 0-255, number 0-65535, flags 0-65535";
        return false;
    }
    const std::string& name = line.fields[6];
    if (name.size() > 255 || !teelink::IsValidUtf8(name)) {
        why = "the name must be UTF-8 of at most 255 bytes";
        return false;
    }
    list = {ListKey(*query), static_cast<int>(*language)};
    record = {static_cast<uint16_t>(*id), static_cast<uint8_t>(*sub),
              static_cast<uint16_t>(*number), static_cast<uint16_t>(*flags), name};
    return true;
}

CServedAnswer Refusal(int status, const std::string& reason) {
    return {status, "teelink-update-server: " + reason + "\n", {}};
}

}  // namespace

bool CServerContent::Load(const fs::path& dir, std::string& error) {
    *this = CServerContent();
    m_dir = dir;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = dir.string() + ": no such content directory";
        return false;
    }
    if (!LoadVersions(dir / "versions.txt", error) || !LoadAreas(dir / "areas.tsv", error)) {
        return false;
    }
    if (!LoadOptional(dir, error)) {
        return false;
    }
    for (const char* sub : {"course", "system", "favorite"}) {
        if (!fs::is_directory(dir / sub, ec)) {
            m_notes.push_back(std::string("no ") + sub + "/ directory: no such packages");
        }
    }
    return true;
}

bool CServerContent::LoadOptional(const fs::path& dir, std::string& error) {
    std::error_code ec;
    if (!fs::exists(dir / "directory.tsv", ec)) {
        m_notes.push_back("no directory.tsv: every course directory list is empty");
    } else if (!LoadDirectory(dir / "directory.tsv", error)) {
        return false;
    }
    if (!fs::exists(dir / "courses.tsv", ec)) {
        m_notes.push_back("no courses.tsv: every course is unknown");
    } else if (!LoadCourses(dir / "courses.tsv", error)) {
        return false;
    }
    return true;
}

bool CServerContent::LoadVersions(const fs::path& file, std::string& error) {
    std::vector<Line> lines;
    if (!ReadTable(file, lines, error)) {
        return false;
    }
    static const std::array<std::string, 4> kKeys = {"tool", "R7", "R8", "KS2"};
    std::map<std::string, std::string> values;
    for (const Line& line : lines) {
        std::string key;
        std::string value;
        if (!SplitVersionLine(line, key, value)) {
            error = Where(file, line) + "expected \"KEY VERSION\"";
            return false;
        }
        if (std::find(kKeys.begin(), kKeys.end(), key) == kKeys.end()) {
            error = Where(file, line) + "unknown key \"" + key + "\" (tool, R7, R8, KS2)";
            return false;
        }
        // The tool reads each field up to a ':' within its first 20 bytes.
        if (value.size() > 19 || value.find(':') != std::string::npos) {
            error = Where(file, line) + "a version has at most 19 characters and no ':'";
            return false;
        }
        if (!values.emplace(key, value).second) {
            error = Where(file, line) + "\"" + key + "\" given twice";
            return false;
        }
    }
    std::vector<std::string> versions;
    for (const std::string& key : kKeys) {
        if (!values.count(key)) {
            error = file.filename().string() + ": no \"" + key + "\" version";
            return false;
        }
        versions.push_back(values[key]);
    }
    m_versions = VersionsAnswer(versions);
    return true;
}

bool CServerContent::LoadAreas(const fs::path& file, std::string& error) {
    std::vector<Line> lines;
    if (!ReadTable(file, lines, error)) {
        return false;
    }
    if (lines.size() > 255) {
        error = file.filename().string() + ": more than 255 areas";
        return false;
    }
    std::array<std::vector<CAreaEntry>, LANGUAGE_COUNT> areas;
    std::set<std::string> codes;
    for (const Line& line : lines) {
        if (line.fields.size() != 1 + LANGUAGE_COUNT) {
            error = Where(file, line) + "expected the code and five names";
            return false;
        }
        const std::string& code = line.fields[0];
        if (!teelink::IsPlainName(code) || !codes.insert(code).second) {
            error = Where(file, line) + "the code must be unique letters, digits, '-' or '_'";
            return false;
        }
        if (!NamesFit(line, 1, 255)) {
            error = Where(file, line) + "a name must be UTF-8 of at most 255 bytes";
            return false;
        }
        for (size_t l = 0; l < LANGUAGE_COUNT; ++l) {
            areas[l].push_back({code, line.fields[l + 1]});
        }
    }
    for (size_t l = 0; l < LANGUAGE_COUNT; ++l) {
        m_areaAnswers[l] = AreaListAnswer(areas[l]);
        if (m_areaAnswers[l].size() > kMaxAreaAnswer) {
            error = file.filename().string() + ": the area list of language " + std::to_string(l) +
                    " is longer than 1024 bytes";
            return false;
        }
    }
    return true;
}

bool CServerContent::LoadDirectory(const fs::path& file, std::string& error) {
    std::vector<Line> lines;
    if (!ReadTable(file, lines, error)) {
        return false;
    }
    std::map<std::pair<std::string, int>, std::vector<CListRecord>> lists;
    for (const Line& line : lines) {
        std::pair<std::string, int> key;
        CListRecord record;
        std::string why;
        if (!ParseListLine(line, key, record, why)) {
            error = Where(file, line) + why;
            return false;
        }
        auto& list = lists[key];
        if (list.size() == 255) {
            error = Where(file, line) + "a list holds at most 255 records";
            return false;
        }
        list.push_back(std::move(record));
    }
    for (const auto& [key, records] : lists) {
        std::string answer = DirectoryListAnswer(records);
        if (answer.size() > kMaxListAnswer) {
            error = file.filename().string() + ": the list " + key.first + " of language " +
                    std::to_string(key.second) + " is longer than 65536 bytes";
            return false;
        }
        m_lists[key] = std::move(answer);
    }
    return true;
}

bool CServerContent::LoadCourses(const fs::path& file, std::string& error) {
    std::vector<Line> lines;
    if (!ReadTable(file, lines, error)) {
        return false;
    }
    for (const Line& line : lines) {
        if (line.fields.size() != 4 + LANGUAGE_COUNT) {
            error = Where(file, line) + "expected n, s, g, date and five names";
            return false;
        }
        const auto n = ParseDecimal(line.fields[0], 1, 0xFFFF);
        const auto s = ParseDecimal(line.fields[1], 0, 0xFF);
        const auto g = ParseDecimal(line.fields[2], 0, 0xFFFF);
        if (!n || !s || !g) {
            error = Where(file, line) + "n 1-65535, s 0-255, g 0-65535";
            return false;
        }
        CourseInfo info;
        info.date = line.fields[3];
        const bool printable =
            info.date.size() == 10 && std::all_of(info.date.begin(), info.date.end(),
                                                  [](char c) { return c >= 0x20 && c < 0x7F; });
        if (!printable) {
            error = Where(file, line) + "the date has ten characters";
            return false;
        }
        // K, one byte, counts the date and the name.
        if (!NamesFit(line, 4, 245)) {
            error = Where(file, line) + "a name must be UTF-8 of at most 245 bytes";
            return false;
        }
        std::copy_n(line.fields.begin() + 4, LANGUAGE_COUNT, info.names.begin());
        const CourseKey key = {static_cast<uint32_t>(*n), static_cast<uint32_t>(*s),
                               static_cast<uint32_t>(*g)};
        if (!m_courses.emplace(key, std::move(info)).second) {
            error = Where(file, line) + "this course is given twice";
            return false;
        }
    }
    return true;
}

CServedAnswer CServerContent::PackageAnswer(const fs::path& relative) const {
    std::error_code ec;
    const fs::path path = m_dir / relative;
    if (!fs::is_regular_file(path, ec)) {
        return Refusal(404, "no package " + relative.generic_string());
    }
    return {200, {}, path};
}

CServedAnswer CServerContent::CourseAnswer(const CCheckedQuery& query) const {
    const CourseKey key = {static_cast<uint32_t>(query.Number("n")),
                           static_cast<uint32_t>(query.Number("s")),
                           static_cast<uint32_t>(query.Number("g"))};
    const auto course = m_courses.find(key);
    // An unknown course has the date that means "no data on the server", so
    // the tool never offers an update for it.
    if (course == m_courses.end()) {
        return {200, CourseInfoAnswer("0001010000", ""), {}};
    }
    const auto& names = course->second.names;
    return {200, CourseInfoAnswer(course->second.date, names[query.Language()]), {}};
}

CServedAnswer CServerContent::FavoriteAnswer(const CCheckedQuery& query) const {
    // The model's own package says the model has favourite course data at all; it
    // is also the answer when `f` names no course this server knows.
    CServedAnswer modelPackage =
        PackageAnswer(fs::path("favorite") / (query.values.at("pd") + ".zip"));
    if (!modelPackage.IsPackage()) {
        return modelPackage;
    }
    const std::string& keys = query.values.at("f");
    std::vector<CPackageEntry> entries;
    for (size_t slot = 1; slot * 10 <= keys.size(); ++slot) {
        const std::string key = keys.substr((slot - 1) * 10, 10);
        const CourseKey course = {static_cast<uint32_t>(std::stoul(key.substr(0, 4), nullptr, 16)),
                                  static_cast<uint32_t>(std::stoul(key.substr(4, 2), nullptr, 16)),
                                  static_cast<uint32_t>(std::stoul(key.substr(6, 4), nullptr, 16))};
        const auto known = m_courses.find(course);
        if (known == m_courses.end()) {
            continue;  // an empty slot ("0000000000") or a course of another server
        }
        const std::string tag = "Zorvik favourite course " + key + " " + known->second.date + "\n";
        const auto address =
            static_cast<uint32_t>(FAVORITE_DATA_ADDRESS + (slot - 1) * FAVORITE_SLOT_STRIDE);
        entries.push_back({"favorite-" + std::to_string(slot) + ".bin",
                           MakeEntry(address, SampleBytes(tag, FAVORITE_COURSE_DATA_SIZE)), true});
    }
    if (entries.empty()) {
        return modelPackage;
    }
    const std::vector<uint8_t> archive = BuildPackage(entries);
    if (archive.empty()) {
        return Refusal(500, "the favourite course package could not be built");
    }
    return {200, teelink::PackageAnswer(archive), {}};
}

CServedAnswer CServerContent::Answer(std::string_view query) const {
    std::string reason;
    const auto checked = CheckQuery(query, true, reason);
    if (!checked) {
        return Refusal(400, reason);
    }
    const auto& v = checked->values;
    switch (checked->Md()) {
        case 1:
            return {200, m_versions, {}};
        case 14:
            return {200, m_areaAnswers[checked->Language()], {}};
        case 4:
            // Every device gets the whole data set, whatever its date: the tool
            // has no answer for "nothing to update".
            return PackageAnswer(fs::path("course") / v.at("pd") / (v.at("ga") + ".zip"));
        case 3:
            return PackageAnswer(fs::path("system") / v.at("pd") / (v.at("mdl") + ".zip"));
        case 13:
            return FavoriteAnswer(*checked);
        case 5:
            return CourseAnswer(*checked);
        default: {
            // A directory query that names no list is an empty list, not an error:
            // the dialog says "NO Data" and steps back.
            const auto list = m_lists.find({ListKey(*checked), checked->Language()});
            return {200, list == m_lists.end() ? DirectoryListAnswer({}) : list->second, {}};
        }
    }
}

}  // namespace teelink
