#include "refserver/ContentRecipe.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "common/Text.h"
#include "device/Protocol.h"
#include "refserver/PackageBuilder.h"
#include "refserver/QueryString.h"
#include "refserver/TextTable.h"

namespace teelink {

namespace fs = std::filesystem;

namespace {

struct Span {
    uint64_t begin = 0;
    uint64_t end = 0;  // past the last block the tool writes
    bool Overlaps(uint64_t b, uint64_t e) const { return begin < e && b < end; }
};

uint64_t PayloadSize(const CRecipeEntry& entry) {
    return entry.headerDate.empty() ? uint64_t{entry.dataKiB} * 1024 : BLOCK_SIZE;
}

// The tool writes whole blocks, the last one padded with zeros.
Span SpanOf(const CRecipeEntry& entry) {
    const uint64_t blocks = (PayloadSize(entry) + BLOCK_SIZE - 1) / BLOCK_SIZE;
    return {entry.address, entry.address + blocks * BLOCK_SIZE};
}

std::string At(const CRecipeEntry& entry) {
    return "packages.tsv:" + std::to_string(entry.line) + ": ";
}

std::optional<uint32_t> ParseAddress(std::string_view text) {
    if (!text.starts_with("0x") || text.size() < 3 || text.size() > 10) {
        return std::nullopt;
    }
    return teelink::ParseNumber<uint32_t>(text.substr(2), 0, UINT32_MAX, 16);
}

// "course/MODEL/AREA.zip", "system/MODEL/CODE.zip" or "favorite/MODEL.zip": the
// paths the server looks in.
bool IsServedPath(const std::string& archive) {
    std::vector<std::string> parts;
    std::stringstream in(archive);
    for (std::string part; std::getline(in, part, '/');) {
        parts.push_back(part);
    }
    if (parts.empty() || parts.back().size() <= 4 ||
        parts.back().compare(parts.back().size() - 4, 4, ".zip") != 0) {
        return false;
    }
    parts.back().resize(parts.back().size() - 4);
    for (const std::string& part : parts) {
        if (!teelink::IsPlainName(part)) {
            return false;
        }
    }
    return ((parts[0] == "course" || parts[0] == "system") && parts.size() == 3) ||
           (parts[0] == "favorite" && parts.size() == 2);
}

// Tagged by archive and entry, so every entry of the sample differs.
std::vector<uint8_t> SampleData(const CRecipeEntry& entry) {
    return SampleBytes("Zorvik sample data " + entry.archive + " " + entry.name + "\n",
                       uint64_t{entry.dataKiB} * 1024);
}

}  // namespace

// Pseudo-random bytes that deflate a little, as real map data does.
std::vector<uint8_t> SampleBytes(const std::string& tag, size_t size) {
    std::vector<uint8_t> data(size);
    uint64_t state = 1469598103934665603ull;
    for (char c : tag) {
        state = (state ^ static_cast<uint8_t>(c)) * 1099511628211ull;
    }
    for (size_t i = 0; i < data.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        data[i] = static_cast<uint8_t>((state >> 24) & 0x3F) +
                  static_cast<uint8_t>(i % 3 == 0 ? 0x40 : 0);
    }
    std::copy_n(tag.begin(), std::min(tag.size(), data.size()), data.begin());
    return data;
}

bool ReadRecipe(const fs::path& file, std::vector<CRecipeEntry>& entries, std::string& error) {
    std::vector<CTableLine> lines;
    if (!ReadTable(file, lines, error)) {
        return false;
    }
    for (const CTableLine& line : lines) {
        const int number = line.number;
        const std::vector<std::string>& fields = line.fields;
        CRecipeEntry entry;
        entry.line = number;
        const std::string where = "packages.tsv:" + std::to_string(number) + ": ";
        if (fields.size() != 4) {
            error = where + "expected archive, entry, address, contents";
            return false;
        }
        entry.archive = fields[0];
        entry.name = fields[1];
        if (!IsServedPath(entry.archive)) {
            error = where +
                    "the archive is course/MODEL/AREA.zip, system/MODEL/CODE.zip or "
                    "favorite/MODEL.zip";
            return false;
        }
        if (entry.name.empty() || entry.name.find('/') != std::string::npos) {
            error = where + "the entry needs a plain name";
            return false;
        }
        const auto address = ParseAddress(fields[2]);
        if (!address) {
            error = where + "the address is a hexadecimal number such as 0x280000";
            return false;
        }
        entry.address = *address;
        std::stringstream contents(fields[3]);
        std::string kind;
        std::string value;
        contents >> kind >> value;
        if (kind == "header" && value.size() == 6 && ParseDecimal(value, 0, 999999)) {
            entry.headerDate = value;
        } else if (const auto kib = ParseDecimal(value, 0, 1 << 20); kind == "data" && kib) {
            entry.dataKiB = static_cast<uint32_t>(*kib);
        } else {
            error = where + "the contents are \"header YYMMDD\" or \"data KIB\"";
            return false;
        }
        entries.push_back(std::move(entry));
    }
    return CheckRecipe(entries, error);
}

bool CheckRecipe(const std::vector<CRecipeEntry>& entries, std::string& error) {
    const Span log{LOG_IMAGE_ADDRESS, uint64_t{LOG_IMAGE_ADDRESS} + LOG_IMAGE_SIZE};
    const Span header{COURSE_HEADER_ADDRESS, uint64_t{COURSE_HEADER_ADDRESS} + BLOCK_SIZE};
    std::map<std::string, std::vector<const CRecipeEntry*>> archives;
    for (const CRecipeEntry& entry : entries) {
        const Span span = SpanOf(entry);
        if (span.end > (uint64_t{1} << 32)) {
            error = At(entry) + "the entry runs past the end of the address space";
            return false;
        }
        if (log.Overlaps(span.begin, span.end)) {
            error = At(entry) + "the entry would overwrite the marked-position log";
            return false;
        }
        const bool isCourse = entry.archive.rfind("course/", 0) == 0;
        if (!entry.headerDate.empty() && (!isCourse || entry.address != COURSE_HEADER_ADDRESS)) {
            error = At(entry) + "a course data header belongs at 0x280000 of a course archive";
            return false;
        }
        if (entry.headerDate.empty() && header.Overlaps(span.begin, span.end)) {
            error = At(entry) + "only the course data header may be written at 0x280000";
            return false;
        }
        for (const CRecipeEntry* other : archives[entry.archive]) {
            const Span o = SpanOf(*other);
            if (o.Overlaps(span.begin, span.end)) {
                error =
                    At(entry) + "the entry overlaps the one on line " + std::to_string(other->line);
                return false;
            }
        }
        archives[entry.archive].push_back(&entry);
    }
    for (const auto& [archive, list] : archives) {
        const bool isCourse = archive.rfind("course/", 0) == 0;
        if (isCourse && list.back()->headerDate.empty()) {
            error = At(*list.back()) + "a course archive ends with its course data header";
            return false;
        }
    }
    return true;
}

std::vector<uint8_t> EntryBytes(const CRecipeEntry& entry) {
    if (!entry.headerDate.empty()) {
        return MakeEntry(entry.address, CourseDataHeader(entry.headerDate, BLOCK_SIZE));
    }
    return MakeEntry(entry.address, SampleData(entry));
}

bool BuildRecipe(const std::vector<CRecipeEntry>& entries, const fs::path& outDir,
                 std::string& error) {
    std::map<std::string, std::vector<CPackageEntry>> archives;
    std::vector<std::string> order;
    for (const CRecipeEntry& entry : entries) {
        if (!archives.count(entry.archive)) {
            order.push_back(entry.archive);
        }
        archives[entry.archive].push_back({entry.name, EntryBytes(entry), true});
    }
    for (const std::string& archive : order) {
        const std::vector<uint8_t> bytes = BuildPackage(archives[archive]);
        if (bytes.empty()) {
            error = archive + ": the zip archive could not be built";
            return false;
        }
        const fs::path target = outDir / archive;
        const fs::path temporary = target.string() + ".tmp";
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out || (fs::rename(temporary, target, ec), ec)) {
            error = target.string() + ": cannot be written";
            return false;
        }
    }
    return true;
}

}  // namespace teelink
