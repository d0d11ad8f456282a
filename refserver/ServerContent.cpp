#include "refserver/ServerContent.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "refserver/QueryString.h"
#include "refserver/TextTable.h"

namespace fs = std::filesystem;

namespace {

// ---- Reading the text files ----

using Line = CTableLine;

std::string Where(const fs::path& file, const Line& line) {
    return file.filename().string() + ":" + std::to_string(line.number) + ": ";
}

bool IsUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        uint32_t cp = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

// A name used in a file path on the server: letters, digits, '-' and '_'.
bool IsPlainName(std::string_view text) {
    if (text.empty() || text.size() > 32) {
        return false;
    }
    for (char c : text) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string Le16(unsigned value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

const std::string kFraming("TL\0", 3);

// ---- Request forms ----

enum class Kind {
    Language,  // 0 to 4
    U16,
    U8,
    I32,      // the area index is a signed number in the tool
    Name,     // model, area code, hardware code: a plain name
    Date6,    // six digits
    Keys150,  // fifteen ten-digit lower-case hexadecimal keys
};

struct Field {
    const char* key;
    Kind kind;
};

struct Form {
    int md;
    std::vector<Field> fields;
};

const std::vector<Form>& Forms() {
    static const std::vector<Form> forms = {
        {1, {}},
        {3, {{"pd", Kind::Name}, {"mdl", Kind::Name}}},
        {4, {{"pd", Kind::Name}, {"ga", Kind::Name}, {"udate", Kind::Date6}}},
        {5, {{"l", Kind::Language}, {"n", Kind::U16}, {"s", Kind::U8}, {"g", Kind::U16}}},
        {6, {{"l", Kind::Language}}},
        {7, {{"l", Kind::Language}, {"a", Kind::I32}}},
        {8, {{"l", Kind::Language}, {"n", Kind::U16}}},
        {9, {{"l", Kind::Language}, {"n", Kind::U16}, {"r", Kind::U8}}},
        {10, {{"l", Kind::Language}, {"n", Kind::U16}}},
        {11, {{"l", Kind::Language}, {"n", Kind::U16}, {"il", Kind::U8}}},
        {12, {{"l", Kind::Language}, {"n", Kind::U16}, {"s", Kind::U8}, {"i", Kind::U8}}},
        {13, {{"pd", Kind::Name}, {"f", Kind::Keys150}}},
        {14, {{"l", Kind::Language}}},
    };
    return forms;
}

const Form* FindForm(int md) {
    for (const Form& form : Forms()) {
        if (form.md == md) {
            return &form;
        }
    }
    return nullptr;
}

bool ValueFits(Kind kind, const std::string& value) {
    switch (kind) {
        case Kind::Language:
            return ParseNumber(value, 0, LANGUAGE_COUNT - 1).has_value();
        case Kind::U16:
            return ParseNumber(value, 0, 0xFFFF).has_value();
        case Kind::U8:
            return ParseNumber(value, 0, 0xFF).has_value();
        case Kind::I32:
            return ParseNumber(value, INT32_MIN, INT32_MAX, true).has_value();
        case Kind::Name:
            return IsPlainName(value);
        case Kind::Date6:
            return value.size() == 6 && ParseNumber(value, 0, 999999).has_value();
        case Kind::Keys150:
            return value.size() == 150 &&
                   value.find_first_not_of("0123456789abcdef") == std::string::npos;
    }
    return false;
}

// A query checked against its form: every key of the form present and valid, no
// other key. `reason` says what is wrong.
struct CheckedQuery {
    const Form* form = nullptr;
    std::map<std::string, std::string> values;
};

std::optional<CheckedQuery> CheckQuery(std::string_view query, bool withLanguage,
                                       std::string& reason) {
    auto pairs = ParseQuery(query);
    if (!pairs) {
        reason = "malformed query";
        return std::nullopt;
    }
    const auto md = pairs->find("md");
    const auto mdValue = md == pairs->end() ? std::nullopt : ParseNumber(md->second, 1, 99);
    const Form* form = mdValue ? FindForm(static_cast<int>(*mdValue)) : nullptr;
    if (form == nullptr) {
        reason = "unknown request form";
        return std::nullopt;
    }
    size_t expected = 1;
    for (const Field& field : form->fields) {
        if (!withLanguage && std::string_view(field.key) == "l") {
            continue;
        }
        ++expected;
        const auto value = pairs->find(field.key);
        if (value == pairs->end()) {
            reason = "md=" + std::to_string(form->md) + " needs " + field.key;
            return std::nullopt;
        }
        if (!ValueFits(field.kind, value->second)) {
            reason = "md=" + std::to_string(form->md) + ": bad value of " + field.key;
            return std::nullopt;
        }
    }
    if (pairs->size() != expected) {
        reason = "md=" + std::to_string(form->md) + ": unexpected key";
        return std::nullopt;
    }
    return CheckedQuery{form, std::move(*pairs)};
}

// The list's key without the language: md and the form's keys in form order, as
// plain decimal numbers (so "n=007" and "n=7" name the same list).
std::string ListKey(const CheckedQuery& query) {
    std::string key = "md=" + std::to_string(query.form->md);
    for (const Field& field : query.form->fields) {
        if (std::string_view(field.key) == "l") {
            continue;
        }
        const bool sign = field.kind == Kind::I32;
        key += std::string("&") + field.key + "=" +
               std::to_string(*ParseNumber(query.values.at(field.key), INT32_MIN, INT32_MAX, sign));
    }
    return key;
}

int LanguageOf(const CheckedQuery& query) {
    return static_cast<int>(*ParseNumber(query.values.at("l"), 0, LANGUAGE_COUNT - 1));
}

CServedAnswer Refusal(int status, const std::string& reason) {
    return {status, "teelink-update-server: " + reason + "\n", {}};
}

}  // namespace

std::string PackageHeader(uint32_t archiveSize) {
    std::string header = kFraming;
    for (int i = 0; i < 4; ++i) {
        header.push_back(static_cast<char>((archiveSize >> (8 * i)) & 0xFF));
    }
    return header;
}

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
    if (fs::exists(dir / "directory.tsv", ec)) {
        if (!LoadDirectory(dir / "directory.tsv", error)) {
            return false;
        }
    } else {
        m_notes.push_back("no directory.tsv: every course directory list is empty");
    }
    if (fs::exists(dir / "courses.tsv", ec)) {
        if (!LoadCourses(dir / "courses.tsv", error)) {
            return false;
        }
    } else {
        m_notes.push_back("no courses.tsv: every course is unknown");
    }
    for (const char* sub : {"course", "system", "favorite"}) {
        if (!fs::is_directory(dir / sub, ec)) {
            m_notes.push_back(std::string("no ") + sub + "/ directory: no such packages");
        }
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
        // "key value", separated by blanks or tabs.
        std::string joined;
        for (const std::string& field : line.fields) {
            joined += field + " ";
        }
        std::istringstream words(joined);
        std::string key;
        std::string value;
        std::string extra;
        words >> key >> value >> extra;
        if (key.empty() || value.empty() || !extra.empty()) {
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
    m_versions = kFraming;
    for (const std::string& key : kKeys) {
        if (!values.count(key)) {
            error = file.filename().string() + ": no \"" + key + "\" version";
            return false;
        }
        m_versions += values[key] + ":";
    }
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
    std::array<std::string, LANGUAGE_COUNT> records;
    std::set<std::string> codes;
    for (const Line& line : lines) {
        if (line.fields.size() != 1 + LANGUAGE_COUNT) {
            error = Where(file, line) + "expected the code and five names";
            return false;
        }
        const std::string& code = line.fields[0];
        if (!IsPlainName(code) || !codes.insert(code).second) {
            error = Where(file, line) + "the code must be unique letters, digits, '-' or '_'";
            return false;
        }
        for (int l = 0; l < LANGUAGE_COUNT; ++l) {
            const std::string& name = line.fields[static_cast<size_t>(l) + 1];
            if (name.size() > 255 || !IsUtf8(name)) {
                error = Where(file, line) + "a name must be UTF-8 of at most 255 bytes";
                return false;
            }
            records[static_cast<size_t>(l)] +=
                static_cast<char>(code.size()) + code + static_cast<char>(name.size()) + name;
        }
    }
    for (int l = 0; l < LANGUAGE_COUNT; ++l) {
        const std::string& body = records[static_cast<size_t>(l)];
        // L counts the bytes after it: N and the records. The tool reads the
        // whole answer in one read of 1024 bytes.
        std::string answer = kFraming + Le16(static_cast<unsigned>(body.size() + 1)) +
                             static_cast<char>(lines.size()) + body;
        if (answer.size() > 1024) {
            error = file.filename().string() + ": the area list of language " + std::to_string(l) +
                    " is longer than 1024 bytes";
            return false;
        }
        m_areaAnswers[static_cast<size_t>(l)] = std::move(answer);
    }
    return true;
}

bool CServerContent::LoadDirectory(const fs::path& file, std::string& error) {
    std::vector<Line> lines;
    if (!ReadTable(file, lines, error)) {
        return false;
    }
    std::map<std::pair<std::string, int>, std::vector<ListRecord>> lists;
    for (const Line& line : lines) {
        if (line.fields.size() != 7) {
            error = Where(file, line) + "expected query, language, id, sub, number, flags, name";
            return false;
        }
        std::string reason;
        const auto query = CheckQuery(line.fields[0], false, reason);
        if (!query || query->form->md < 6 || query->form->md > 12) {
            error = Where(file, line) + "not a course directory query (" +
                    (query ? "md=6 to md=12" : reason) + ")";
            return false;
        }
        const auto language = ParseNumber(line.fields[1], 0, LANGUAGE_COUNT - 1);
        const auto id = ParseNumber(line.fields[2], 0, 0xFFFF);
        const auto sub = ParseNumber(line.fields[3], 0, 0xFF);
        const auto number = ParseNumber(line.fields[4], 0, 0xFFFF);
        const auto flags = ParseNumber(line.fields[5], 0, 0xFFFF);
        if (!language || !id || !sub || !number || !flags) {
            error = Where(file, line) +
                    "language 0-4, id 0-65535, sub 0-255, number 0-65535, flags 0-65535";
            return false;
        }
        const std::string& name = line.fields[6];
        if (name.size() > 255 || !IsUtf8(name)) {
            error = Where(file, line) + "the name must be UTF-8 of at most 255 bytes";
            return false;
        }
        auto& list = lists[{ListKey(*query), static_cast<int>(*language)}];
        if (list.size() == 255) {
            error = Where(file, line) + "a list holds at most 255 records";
            return false;
        }
        list.push_back({static_cast<uint16_t>(*id), static_cast<uint8_t>(*sub),
                        static_cast<uint16_t>(*number), static_cast<uint16_t>(*flags), name});
    }
    for (const auto& [key, records] : lists) {
        std::string body(1, static_cast<char>(records.size()));
        for (const ListRecord& r : records) {
            body += Le16(r.id) + static_cast<char>(r.sub) + Le16(r.number) + Le16(r.flags) +
                    Le16(0) + static_cast<char>(r.name.size()) + r.name;
        }
        // L + 1 body bytes, L in 16 bits.
        if (body.size() > 0x10000) {
            error = file.filename().string() + ": the list " + key.first + " of language " +
                    std::to_string(key.second) + " is longer than 65536 bytes";
            return false;
        }
        m_lists[key] = kFraming + Le16(static_cast<unsigned>(body.size() - 1)) + body;
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
        const auto n = ParseNumber(line.fields[0], 1, 0xFFFF);
        const auto s = ParseNumber(line.fields[1], 0, 0xFF);
        const auto g = ParseNumber(line.fields[2], 0, 0xFFFF);
        if (!n || !s || !g) {
            error = Where(file, line) + "n 1-65535, s 0-255, g 0-65535";
            return false;
        }
        CourseInfo info;
        info.date = line.fields[3];
        bool printable = info.date.size() == 10;
        for (char c : info.date) {
            printable = printable && c >= 0x20 && c < 0x7F;
        }
        if (!printable) {
            error = Where(file, line) + "the date has ten characters";
            return false;
        }
        for (int l = 0; l < LANGUAGE_COUNT; ++l) {
            std::string& name = info.names[static_cast<size_t>(l)];
            name = line.fields[static_cast<size_t>(l) + 4];
            // K, one byte, counts the date and the name.
            if (name.size() > 245 || !IsUtf8(name)) {
                error = Where(file, line) + "a name must be UTF-8 of at most 245 bytes";
                return false;
            }
        }
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

CServedAnswer CServerContent::Answer(std::string_view query) const {
    std::string reason;
    const auto checked = CheckQuery(query, true, reason);
    if (!checked) {
        return Refusal(400, reason);
    }
    const auto& v = checked->values;
    switch (checked->form->md) {
        case 1:
            return {200, m_versions, {}};
        case 14:
            return {200, m_areaAnswers[static_cast<size_t>(LanguageOf(*checked))], {}};
        case 4:
            // Every device gets the whole data set, whatever its date: the tool
            // has no answer for "nothing to update".
            return PackageAnswer(fs::path("course") / v.at("pd") / (v.at("ga") + ".zip"));
        case 3:
            return PackageAnswer(fs::path("system") / v.at("pd") / (v.at("mdl") + ".zip"));
        case 13:
            return PackageAnswer(fs::path("favorite") / (v.at("pd") + ".zip"));
        case 5: {
            const auto number = [&v](const char* key) {
                return static_cast<uint32_t>(*ParseNumber(v.at(key), 0, 0xFFFF));
            };
            const CourseKey key = {number("n"), number("s"), number("g")};
            const auto course = m_courses.find(key);
            // An unknown course has the date that means "no data on the server", so
            // the tool never offers an update for it.
            if (course == m_courses.end()) {
                return {200, kFraming + '\x0A' + "0001010000", {}};
            }
            const std::string& name =
                course->second.names[static_cast<size_t>(LanguageOf(*checked))];
            return {200,
                    kFraming + static_cast<char>(10 + name.size()) + course->second.date + name,
                    {}};
        }
        default: {
            // A directory query that names no list is an empty list, not an error:
            // the dialog says "NO Data" and steps back.
            const auto list = m_lists.find({ListKey(*checked), LanguageOf(*checked)});
            if (list == m_lists.end()) {
                return {200, kFraming + Le16(0) + '\0', {}};
            }
            return {200, list->second, {}};
        }
    }
}
