#pragma once

// A list as a screen reader meets it: read back through the toolkit's
// accessibility interface (ATK on GTK), not through the window's own calls,
// so that what the tests see is what assistive technology is given.

#include <optional>
#include <string>
#include <vector>

class wxWindow;

namespace teelink {

struct CListAloud {
    std::string name;                            // the list's accessible name
    std::vector<std::string> columns;            // the columns a reader meets, by title
    std::vector<std::vector<std::string>> rows;  // each row's cells, in column order
    std::vector<int> selectedRows;
    int focusedRow = -1;  // the row whose cell has the keyboard focus state
};

// Reads `list` through the platform's accessibility interface; nothing where
// the platform offers none to a test (Windows).
std::optional<CListAloud> ReadListAloud(const wxWindow& list);

}  // namespace teelink
