#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace teelink {

// One line of a content table: its number in the file and its tab-separated fields.
struct CTableLine {
    int number = 0;
    std::vector<std::string> fields;
};

// The lines of a UTF-8 text table, without blank lines and lines that start
// with '#'. False with `error` when the file cannot be read.
bool ReadTable(const std::filesystem::path& file, std::vector<CTableLine>& lines,
               std::string& error);

}  // namespace teelink
