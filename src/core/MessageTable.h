#pragma once

#include <array>
#include <string>

#include "core/MessageIds.h"

namespace teelink {

// User-interface languages, in the order of the language dialog. (Not LANG_*:
// the Windows headers define those as macros.)
enum Language : int {
    LANGUAGE_JAPANESE = 0,
    LANGUAGE_ENGLISH = 1,
    LANGUAGE_KOREAN = 2,
    LANGUAGE_CHINESE_SIMPLIFIED = 3,
    LANGUAGE_CHINESE_TRADITIONAL = 4,
};

inline constexpr int LANGUAGE_COUNT = 5;

// Every text the tool shows in the user's language: 56 messages in five languages,
// entry id * 5 + language. Filled once at construction, read-only afterwards.
class CMessageTable {
public:
    CMessageTable();

    // The text of message `id` (0..55) in the current language.
    std::wstring GetMessageText(int id) const;
    // The text of message `id` in `language`, whatever the current language is.
    const std::wstring& Text(int id, int language) const;

    // Language index chosen in the language dialog; 0 until then.
    int m_nLanguage = LANGUAGE_JAPANESE;

private:
    std::array<std::wstring, MESSAGE_COUNT * LANGUAGE_COUNT> m_strMessages;
};

// The message a completed update shows: the system data's own text (the
// firmware update that follows), or "Complete" where that text is empty (every
// language but Japanese) or for the other kinds of update. An empty box would
// tell the user nothing.
// `systemText` is message 42 in the current language.
MessageId CompletionMessage(int updateMode, const std::wstring& systemText);

// printf-style formatting of a message that carries one "%d" (message 16).
std::wstring FormatMessageInt(const std::wstring& format, int value);

}  // namespace teelink
