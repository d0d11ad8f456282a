#pragma once

// Texts from outside the tool (a server's versions and area codes, a device's
// identity and errors, file names) reach a terminal that obeys escape
// sequences: a hostile server could set its title or colours, or hide a line.

#include <string>
#include <string_view>

namespace teelink {

// `text` with every control character escaped as \xNN (C0 and DEL, line ends
// and tabs too, so a field cannot fake a line), C1 and direction controls as
// \uNNNN, and bytes that are not UTF-8 as \xNN. Everything else is kept.
std::string Shown(std::string_view text);
// The same for a std::string, where a function of one is asked for.
inline std::string ShownField(const std::string& text) {
    return Shown(text);
}

// A whole line of ours as it goes to the terminal: the same, but its own tabs
// and line ends are kept. A last guard behind Shown on every field.
std::string ShownLine(std::string_view line);

}  // namespace teelink
