#include "refserver/TextTable.h"

#include <fstream>

namespace teelink {

bool ReadTable(const std::filesystem::path& file, std::vector<CTableLine>& lines,
               std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = file.string() + ": cannot be read";
        return false;
    }
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        if (number == 1 && text.rfind("\xEF\xBB\xBF", 0) == 0) {
            text.erase(0, 3);  // a byte-order mark left by an editor
        }
        if (text.empty() || text[0] == '#') {
            continue;
        }
        CTableLine line{number, {}};
        size_t start = 0;
        for (;;) {
            const size_t tab = text.find('\t', start);
            line.fields.push_back(text.substr(start, tab - start));
            if (tab == std::string::npos) {
                break;
            }
            start = tab + 1;
        }
        lines.push_back(std::move(line));
    }
    return true;
}

}  // namespace teelink
