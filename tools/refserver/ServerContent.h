#pragma once

// The reference update server's content: the answers of every request form,
// read from a content directory (layout: docs/update-server.md). Text content is
// read once by Load; package archives are looked up on each request, so that
// packages can be replaced while the server runs.

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/MessageTable.h"  // LANGUAGE_COUNT: the languages a request may ask in
#include "refserver/AnswerWriter.h"

namespace teelink {

struct CCheckedQuery;

inline constexpr const char* SCRIPT_PATH = "/r7r8/index.php";

// Where a favourite course package puts the data of the course that slot k
// (1 to 15) of `f` names: FAVORITE_DATA_ADDRESS + (k - 1) * FAVORITE_SLOT_STRIDE.
inline constexpr uint32_t FAVORITE_DATA_ADDRESS = 0x400000;
inline constexpr uint32_t FAVORITE_SLOT_STRIDE = 0x10000;
inline constexpr size_t FAVORITE_COURSE_DATA_SIZE = 16 * 1024;

// What the server sends for one query.
struct CServedAnswer {
    int status = 200;
    // The whole answer; for a package the 7-byte header is built from the archive
    // file when it is opened, and this is empty.
    std::string body;
    std::filesystem::path packagePath;  // a package answer: the zip archive to send

    bool IsPackage() const { return !packagePath.empty(); }
};

class CServerContent {
public:
    // Reads the text content of `dir`. On false, `error` names the file, the line
    // and what is wrong with it.
    bool Load(const std::filesystem::path& dir, std::string& error);

    // Content that is missing but not required, one line each, for the start-up
    // message.
    const std::vector<std::string>& Notes() const { return m_notes; }
    const std::filesystem::path& Dir() const { return m_dir; }

    // The answer to the raw query string of one request to the script.
    CServedAnswer Answer(std::string_view query) const;

private:
    struct CourseInfo {
        std::string date;
        std::array<std::string, LANGUAGE_COUNT> names;
    };
    using CourseKey = std::array<uint32_t, 3>;  // n, s, g

    bool LoadVersions(const std::filesystem::path& file, std::string& error);
    bool LoadAreas(const std::filesystem::path& file, std::string& error);
    bool LoadDirectory(const std::filesystem::path& file, std::string& error);
    bool LoadCourses(const std::filesystem::path& file, std::string& error);
    bool LoadOptional(const std::filesystem::path& dir, std::string& error);

    CServedAnswer PackageAnswer(const std::filesystem::path& relative) const;
    CServedAnswer CourseAnswer(const CCheckedQuery& query) const;
    CServedAnswer FavoriteAnswer(const CCheckedQuery& query) const;

    std::filesystem::path m_dir;
    std::vector<std::string> m_notes;
    std::string m_versions;                                      // md=1
    std::array<std::string, LANGUAGE_COUNT> m_areaAnswers;       // md=14 by language
    std::map<std::pair<std::string, int>, std::string> m_lists;  // md=6..12 by key, language
    std::map<CourseKey, CourseInfo> m_courses;                   // md=5
};

}  // namespace teelink
