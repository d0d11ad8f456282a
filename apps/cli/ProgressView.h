#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

namespace teelink {

enum class ProgressStyle {
    Bar,    // a terminal: one line per phase, redrawn in place
    Lines,  // a pipe or a file: a line every tenth of the way
    Json,   // a JSON line per whole percent
    Quiet,  // nothing
};

// The progress of a command's phases (download, write, log read) as the
// window's bars show it, for a terminal, a log file or a program.
class CProgressView {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    CProgressView(
        std::ostream& out, ProgressStyle style,
        Clock clock = [] { return std::chrono::steady_clock::now(); });

    // A new phase named `label` (shown) and `key` (its JSON name) starts at 0.
    void Phase(const std::string& label, const std::string& key);
    // The phase's bar moved to `position` thousandths.
    void Position(int position);
    // The remaining-time text changed (`minutes` for JSON); none is shown at 100 %.
    void Remaining(const std::string& text, int minutes);
    // Draws what a throttled redraw held back; called while waiting for reports.
    void Tick();
    // Ends the bar's line so that the result stands on a line of its own.
    void Finish();

private:
    void Draw();
    std::string BarLine() const;

    std::ostream& m_out;
    ProgressStyle m_style;
    Clock m_clock;
    std::string m_label;
    std::string m_key;
    std::string m_remaining;
    int m_position = 0;
    int m_printedStep = -1;  // Lines: tenths, Json: percent last printed
    bool m_open = false;     // Bar: a line without its end is on the screen
    bool m_dirty = false;
    std::chrono::steady_clock::time_point m_lastDraw{};
};

// What the remaining-time estimate `minutes` (the window's: whole minutes plus
// one) says on a command line: in English "less than a minute", "1 minute",
// "N minutes"; in the other languages `formatted`, the message table's text.
std::string RemainingText(int minutes, const std::string& formatted, int language);

}  // namespace teelink
