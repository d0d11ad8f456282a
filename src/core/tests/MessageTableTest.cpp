#include <gtest/gtest.h>

#include "core/MessageTable.h"

namespace teelink {

namespace {

TEST(MessageTable, EveryMessageExistsInEveryLanguageExceptTheDeliberatelyEmptyOnes) {
    CMessageTable table;
    for (int id = 0; id < MESSAGE_COUNT; ++id) {
        for (int lang = 0; lang < LANGUAGE_COUNT; ++lang) {
            const bool japaneseOnly = (id == 8 || id == 42) && lang != LANGUAGE_JAPANESE;
            const bool emptyEverywhere = id == 25;
            if (japaneseOnly || emptyEverywhere) {
                EXPECT_TRUE(table.Text(id, lang).empty()) << "id " << id << " lang " << lang;
            } else {
                EXPECT_FALSE(table.Text(id, lang).empty()) << "id " << id << " lang " << lang;
            }
        }
    }
}

TEST(MessageTable, JapaneseOnlyMessagesFollowTheCurrentLanguage) {
    CMessageTable table;
    EXPECT_EQ(table.GetMessageText(8).substr(0, 7), L"Kestrum");
    EXPECT_EQ(table.GetMessageText(42).substr(0, 3), L"書き込");
    table.m_nLanguage = LANGUAGE_ENGLISH;
    EXPECT_EQ(table.GetMessageText(8), L"");
    EXPECT_EQ(table.GetMessageText(42), L"");
    EXPECT_EQ(table.GetMessageText(25), L"");
}

TEST(MessageTable, TextsAreLookedUpInTheChosenLanguage) {
    CMessageTable table;
    EXPECT_EQ(table.GetMessageText(2), L"韓国");  // Japanese until the dialog has run
    table.m_nLanguage = LANGUAGE_CHINESE_TRADITIONAL;
    EXPECT_EQ(table.GetMessageText(2), L"韓國");
    table.m_nLanguage = LANGUAGE_ENGLISH;
    EXPECT_EQ(table.GetMessageText(18), L"New version of the tool is available to install. ");
    EXPECT_EQ(table.GetMessageText(54), L"TrevLog file (*.trv)|*.trv|all files (*.*)|*.*||");
}

TEST(MessageTable, RemainingTimeIsFormattedInKorean) {
    CMessageTable table;
    table.m_nLanguage = LANGUAGE_KOREAN;
    EXPECT_EQ(FormatMessageInt(table.GetMessageText(16), 3), L"약 3 분 남았습니다.");
}

TEST(MessageTable, TranslationsKeepPlaceholdersAndLineBreaks) {
    CMessageTable table;
    for (int id = 0; id < MESSAGE_COUNT; ++id) {
        const std::wstring& en = table.Text(id, LANGUAGE_ENGLISH);
        const bool hasPlaceholder = en.find(L"%d") != std::wstring::npos;
        const bool hasBreak = en.find(L'\n') != std::wstring::npos;
        for (int lang = 0; lang < LANGUAGE_COUNT; ++lang) {
            const std::wstring& text = table.Text(id, lang);
            EXPECT_EQ(text.find(L"%d") != std::wstring::npos, hasPlaceholder) << id << "/" << lang;
            if (hasBreak) {
                EXPECT_NE(text.find(L'\n'), std::wstring::npos) << id << "/" << lang;
            }
        }
    }
}

// A system update ends with the text about the firmware update where the
// language has one (Japanese); elsewhere with "Complete", never an empty box.
TEST(MessageTable, EveryCompletedUpdateSaysSomethingInEveryLanguage) {
    CMessageTable table;
    for (int language = 0; language < LANGUAGE_COUNT; ++language) {
        table.m_nLanguage = language;
        const std::wstring systemText = table.GetMessageText(MSG_SYSTEM_WRITE_COMPLETE);
        for (int mode : {0, 1, 2}) {
            const MessageId id = CompletionMessage(mode, systemText);
            EXPECT_FALSE(table.GetMessageText(id).empty()) << language << " " << mode;
            const bool firmware = mode == 1 && language == LANGUAGE_JAPANESE;
            EXPECT_EQ(id, firmware ? MSG_SYSTEM_WRITE_COMPLETE : MSG_COMPLETE)
                << language << " " << mode;
        }
    }
}

}  // namespace

}  // namespace teelink
