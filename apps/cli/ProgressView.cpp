#include "cli/ProgressView.h"

#include <algorithm>

#include "cli/JsonLine.h"

namespace teelink {

namespace {

// Ten redraws a second look smooth and cost a slow terminal nothing.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;

}  // namespace

CProgressView::CProgressView(std::ostream& out, ProgressStyle style, Clock clock)
    : m_out(out), m_style(style), m_clock(std::move(clock)) {}

void CProgressView::Phase(const std::string& label, const std::string& key) {
    Finish();
    m_label = label;
    m_key = key;
    m_remaining.clear();
    m_position = 0;
    m_printedStep = -1;
    Position(0);
}

void CProgressView::Position(int position) {
    m_position = std::clamp(position, 0, 1000);
    if (m_position == 1000) {
        m_remaining.clear();  // nothing remains at the end
    }
    switch (m_style) {
        case ProgressStyle::Bar:
            m_dirty = true;
            // The end of a phase is always drawn, whatever the interval.
            if (m_position == 1000 || m_clock() - m_lastDraw >= kRedrawInterval) {
                Draw();
            }
            break;
        case ProgressStyle::Lines:
            if (m_position / 100 != m_printedStep) {
                m_printedStep = m_position / 100;
                m_out << m_label << ": " << m_printedStep * 10 << " %"
                      << (m_remaining.empty() ? "" : "  " + m_remaining) << std::endl;
            }
            break;
        case ProgressStyle::Json:
            if (m_position / 10 != m_printedStep) {
                m_printedStep = m_position / 10;
                m_out << CJsonLine()
                             .Add("event", "progress")
                             .Add("phase", m_key)
                             .AddNumber("percent", m_printedStep)
                             .Text()
                      << std::endl;
            }
            break;
        case ProgressStyle::Quiet:
            break;
    }
}

void CProgressView::Remaining(const std::string& text, int minutes) {
    m_remaining = m_position == 1000 ? std::string() : text;
    if (m_style == ProgressStyle::Json) {
        m_out << CJsonLine().Add("event", "remaining").AddNumber("minutes", minutes).Text()
              << std::endl;
    } else if (m_style == ProgressStyle::Bar) {
        m_dirty = true;
    }
}

void CProgressView::Tick() {
    if (m_style == ProgressStyle::Bar && m_dirty && m_clock() - m_lastDraw >= kRedrawInterval) {
        Draw();
    }
}

void CProgressView::Finish() {
    if (m_style == ProgressStyle::Bar && m_open) {
        if (m_dirty) {
            Draw();
        }
        m_out << '\n' << std::flush;
        m_open = false;
    }
}

std::string CProgressView::BarLine() const {
    const int filled = m_position * kBarWidth / 1000;
    std::string line = m_label + " [";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kBarWidth - filled), '-');
    line += "] " + std::to_string(m_position / 10) + " %";
    if (!m_remaining.empty()) {
        line += "  " + m_remaining;
    }
    return line;
}

void CProgressView::Draw() {
    // Carriage return, the line, then erase what a longer earlier line left.
    m_out << '\r' << BarLine() << "\x1b[K" << std::flush;
    m_open = true;
    m_dirty = false;
    m_lastDraw = m_clock();
}

std::string RemainingText(int minutes, const std::string& formatted, int language) {
    if (language != 1) {  // the message table's own text in the other languages
        return formatted;
    }
    // The estimate rounds up (1 means under a minute); the words say what is left.
    const int whole = std::max(minutes - 1, 0);
    if (whole == 0) {
        return "Remaining time: less than a minute";
    }
    return "Remaining time: " + std::to_string(whole) + (whole == 1 ? " minute" : " minutes");
}

}  // namespace teelink
