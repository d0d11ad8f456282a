// The command line's parts in-process: options, JSON lines, progress output.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "cli/JsonLine.h"
#include "cli/ProgressView.h"
#include "cli/QueuedReport.h"
#include "cli/ShownText.h"
#include "cli/tests/CliTestSupport.h"
#include "common/Text.h"

namespace teelink {

namespace {

std::optional<int> Parse(std::vector<const char*> args, CCliOptions& options,
                         std::string* err = nullptr) {
    args.insert(args.begin(), "teelink-cli");
    std::ostringstream out;
    std::ostringstream errors;
    const auto exit =
        ParseCliOptions(static_cast<int>(args.size()), args.data(), options, out, errors);
    if (err != nullptr) {
        *err = errors.str();
    }
    return exit;
}

TEST(CliOptions, DefaultsAreTheBuildsAndGlobalOptionsMayFollowTheCommand) {
    CCliOptions options;
    ASSERT_EQ(Parse({"update", "course", "--area", "KOR", "--json", "--bus", "/b"}, options),
              std::nullopt);
    EXPECT_EQ(options.command, CliCommand::UpdateCourse);
    EXPECT_EQ(options.area, "KOR");
    EXPECT_TRUE(options.json);
    EXPECT_EQ(options.busDir, "/b");
    EXPECT_EQ(options.serverUrl, teelink::build::kUpdateUrl);
    EXPECT_EQ(options.language, 1);
    EXPECT_FALSE(options.quiet);

    CCliOptions log;
    ASSERT_EQ(Parse({"--language", "0", "save-log", "a.trv", "--force"}, log), std::nullopt);
    EXPECT_EQ(log.command, CliCommand::SaveLog);
    EXPECT_EQ(log.logFile, "a.trv");
    EXPECT_TRUE(log.force);
    EXPECT_EQ(log.language, 0);
}

TEST(CliOptions, ALaterValueWinsAndOptionsOfOtherCommandsAreRefused) {
    CCliOptions options;
    ASSERT_EQ(
        Parse({"--server", "http://127.0.0.1:1/a", "info", "--server", "http://127.0.0.1:2/b"},
              options),
        std::nullopt);
    EXPECT_EQ(options.serverUrl, "http://127.0.0.1:2/b");
    EXPECT_EQ(options.command, CliCommand::Info);

    std::string err;
    CCliOptions wrong;
    EXPECT_EQ(Parse({"devices", "--area", "JPN"}, wrong, &err), 2);
    EXPECT_NE(err.find("--area"), std::string::npos) << err;
    EXPECT_EQ(Parse({"update", "system", "--force"}, wrong), 2);
    EXPECT_EQ(Parse({"--language", "-1", "devices"}, wrong), 2);
}

TEST(CliJson, EveryControlCharacterQuoteAndBackslashRoundTrips) {
    std::string nasty = "quote \" backslash \\ slash / caf\xc3\xa9 ";
    for (char c = 1; c < 0x20; ++c) {
        nasty += c;
    }
    const std::string line =
        CJsonLine().Add("text", nasty).AddNumber("n", -42).AddBool("b", false).AddNull("z").Text();
    EXPECT_EQ(line.find('\n'), std::string::npos);  // one object, one line
    const auto object = ParseJsonObject(line);
    ASSERT_TRUE(object) << line;
    EXPECT_EQ(object->at("text"), CJsonValue(nasty));
    EXPECT_EQ(object->at("n"), CJsonValue(int64_t{-42}));
    EXPECT_EQ(object->at("b"), CJsonValue(false));
    EXPECT_EQ(object->at("z"), CJsonValue(nullptr));
    EXPECT_EQ(JsonQuoted("\x01\t"), "\"\\u0001\\t\"");
    EXPECT_EQ(CJsonLine().Text(), "{}");
}

// What --json prints must parse as JSON whatever a file name or a device held:
// bytes that are not UTF-8 are replaced, and the object says so.
TEST(CliJson, BytesThatAreNotUtf8BecomeReplacementCharactersAndTheLineSaysSo) {
    const std::string line = CJsonLine().Add("file", "j\x01\xff\n\xc3.trv").Text();
    EXPECT_TRUE(IsValidUtf8(line)) << line;
    const auto object = ParseJsonObject(line);
    ASSERT_TRUE(object) << line;
    EXPECT_EQ(object->at("file"), CJsonValue(std::string("j\x01\xef\xbf\xbd\n\xef\xbf\xbd.trv")));
    EXPECT_EQ(object->at("invalid_utf8_replaced"), CJsonValue(true));
    // Text that is UTF-8 is kept and not marked; controls a terminal would obey
    // (DEL, C1) are escaped.
    const std::string clean = CJsonLine().Add("model", "caf\xc3\xa9 \x7f \xc2\x9b").Text();
    EXPECT_EQ(clean, "{\"model\":\"caf\xc3\xa9 \\u007f \\u009b\"}");
}

TEST(CliShownText, ControlsFromOutsideAreEscapedAndTextIsKept) {
    // A hostile server's version: a window title, a bell, a colour.
    EXPECT_EQ(Shown("\x1b]0;PWNED\x07\x1b[31m"), "\\x1B]0;PWNED\\x07\\x1B[31m");
    // A line break or tab inside a field cannot fake a line or a column.
    EXPECT_EQ(Shown("1.05\nsystem data update:\tnone"), "1.05\\x0Asystem data update:\\x09none");
    // C1 controls (CSI as U+009B), direction overrides, stray bytes.
    EXPECT_EQ(Shown("a\xc2\x9b"
                    "31m\xe2\x80\xae"
                    "b\xff\x7f"),
              "a\\u009B31m\\u202Eb\\xFF\\x7F");
    EXPECT_EQ(Shown("日本 Korea café C:\\x"), "日本 Korea café C:\\x");
    // A line of ours keeps its own tabs and line end.
    EXPECT_EQ(ShownLine("a\tb\n\x1b"), "a\tb\n\\x1B");
}

// A clock the test moves by hand.
struct CFakeClock {
    std::chrono::steady_clock::time_point now{std::chrono::seconds(1000)};
    CProgressView::Clock Function() {
        return [this] { return now; };
    }
};

TEST(CliProgress, TheBarIsRedrawnAtMostTenTimesASecondButAlwaysAtItsEnd) {
    std::ostringstream out;
    CFakeClock clock;
    CProgressView view(out, ProgressStyle::Bar, clock.Function());
    view.Phase("Write", "write");
    // A position every 10 ms for two seconds, the last one the end.
    for (int i = 1; i <= 200; ++i) {
        clock.now += std::chrono::milliseconds(10);
        view.Position(i * 5);
    }
    const size_t draws = Count(out.str(), "\r");
    EXPECT_LE(draws, 21u);
    EXPECT_GE(draws, 19u);
    EXPECT_NE(out.str().rfind("\rWrite [##############################] 100 %"), std::string::npos);
    view.Finish();
    EXPECT_EQ(out.str().back(), '\n');
    EXPECT_EQ(Count(out.str(), "\n"), 1u);
}

TEST(CliProgress, AHeldBackPositionIsDrawnByTheNextTickWithTheRemainingTime) {
    std::ostringstream out;
    CFakeClock clock;
    CProgressView view(out, ProgressStyle::Bar, clock.Function());
    view.Phase("Write", "write");
    view.Position(500);  // within 100 ms of the phase's first draw: held back
    view.Remaining("Remaining time 3 minutes", 3);
    EXPECT_EQ(out.str().find("50 %"), std::string::npos);
    view.Tick();
    EXPECT_EQ(out.str().find("50 %"), std::string::npos);
    clock.now += std::chrono::milliseconds(100);
    view.Tick();
    EXPECT_NE(out.str().find("\rWrite [###############---------------] 50 %  Remaining time 3 "
                             "minutes\x1b[K"),
              std::string::npos)
        << out.str();
}

TEST(CliProgress, APipeGetsALineEveryTenthAndJsonALineEveryPercent) {
    std::ostringstream lines;
    std::ostringstream json;
    CProgressView plain(lines, ProgressStyle::Lines);
    CProgressView machine(json, ProgressStyle::Json);
    for (CProgressView* view : {&plain, &machine}) {
        view->Phase("Download", "download");
        for (int position = 0; position <= 1000; ++position) {
            view->Position(position);
        }
        view->Finish();
    }
    const std::vector<std::string> plainLines = Lines(lines.str());
    ASSERT_EQ(plainLines.size(), 11u);
    EXPECT_EQ(plainLines[3], "Download: 30 %");
    const auto objects = ParseJsonLines(json.str());
    ASSERT_TRUE(objects);
    ASSERT_EQ(objects->size(), 101u);
    EXPECT_EQ(objects->at(37).at("percent"), CJsonValue(int64_t{37}));
    EXPECT_EQ(objects->at(37).at("phase"), CJsonValue(std::string("download")));
}

TEST(CliProgress, QuietPrintsNothing) {
    std::ostringstream out;
    CProgressView view(out, ProgressStyle::Quiet);
    view.Phase("Write", "write");
    view.Position(1000);
    view.Remaining("Remaining time 1 minutes", 1);
    view.Finish();
    EXPECT_EQ(out.str(), "");
}

}  // namespace

namespace {

// A job's result reaches the main thread in its place among its reports; the
// texts its end shows and the end itself follow it there, so the command can
// say them between two lines of progress, and leave out what a cancel makes
// pointless.
TEST(CliQueuedReport, AJobsResultArrivesInOrderWithItsReports) {
    enum Message : int { NOTICE = 1, LAST = 2 };
    CQueuedReport<Message> report;
    const auto mainThread = std::this_thread::get_id();
    bool endedOnMain = false;
    CJobRunner<int> runner(report, report);
    runner.Start(
        CJobPlace{},
        [&report](const CJobContext&) -> Result<int> {
            report.Progress(0, 500);
            report.Post(NOTICE, 0);
            return CFailure("Error: HID write", 7);
        },
        [&](Result<int>& result) {
            endedOnMain = std::this_thread::get_id() == mainThread;
            report.End(LAST, result.Code());
        });
    std::vector<std::string> seen;
    for (;;) {
        const auto event = report.Next(std::chrono::seconds(10));
        ASSERT_TRUE(event);
        if (event->isProgress) {
            seen.push_back("progress " + std::to_string(event->position));
        } else if (!event->text.empty()) {
            seen.push_back("text " + event->text);
        } else {
            seen.push_back((event->last ? "last " : "notice ") + std::to_string(event->message) +
                           " " + std::to_string(event->param));
            if (event->last) {
                break;
            }
        }
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"progress 500", "notice 1 0", "text Error: HID write",
                                              "last 2 7"}));
    EXPECT_TRUE(endedOnMain);
    EXPECT_FALSE(runner.Running());
}

TEST(CliNotifier, ErrorsAreLinesOrWithJsonObjects) {
    std::ostringstream plain;
    CCliNotifier(plain, false).ShowPlain("no device connected");
    EXPECT_EQ(plain.str(), "teelink-cli: no device connected\n");
    std::ostringstream json;
    CCliNotifier(json, true).ShowPlain("cannot write \"x\"");
    const auto object = ParseJsonObject(Lines(json.str()).front());
    ASSERT_TRUE(object);
    EXPECT_EQ(std::get<std::string>(object->at("event")), "error");
    EXPECT_EQ(std::get<std::string>(object->at("message")), "cannot write \"x\"");
}

TEST(CliOptions, TheLanguageComesFromTheLocaleUnlessGiven) {
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, nullptr), LANGUAGE_ENGLISH);
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, "C.UTF-8"), LANGUAGE_ENGLISH);
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, "ja_JP.UTF-8"), LANGUAGE_JAPANESE);
    EXPECT_EQ(LanguageFromLocale(nullptr, "ko_KR.UTF-8", "en_US.UTF-8"), LANGUAGE_KOREAN);
    EXPECT_EQ(LanguageFromLocale("zh_TW.UTF-8", "ja_JP", "ko_KR"), LANGUAGE_CHINESE_TRADITIONAL);
    EXPECT_EQ(LanguageFromLocale("", "zh_CN.UTF-8", nullptr), LANGUAGE_CHINESE_SIMPLIFIED);
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, "zh_HK"), LANGUAGE_CHINESE_TRADITIONAL);
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, "de_DE.UTF-8"), LANGUAGE_ENGLISH);
}

TEST(CliOptions, AServerThatIsNoUrlIsAUsageError) {
    for (const char* url : {"127.0.0.1:8750/r7r8/index.php", "ftp://host/x", "http://", "http:///x",
                            "index.php", "https://ho st/x"}) {
        CCliOptions options;
        std::string err;
        EXPECT_EQ(Parse({"info", "--server", url}, options, &err), 2) << url;
        EXPECT_NE(err.find("URL"), std::string::npos) << err;
    }
    CCliOptions options;
    EXPECT_EQ(
        Parse({"info", "--server", "https://update.example.com:8443/r7r8/index.php"}, options),
        std::nullopt);
}

TEST(CliOptions, HelpExplainsACommandWithTheOptionsEveryCommandTakes) {
    CCliOptions options;
    std::vector<const char*> args = {"teelink-cli", "help", "save-log"};
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(ParseCliOptions(3, args.data(), options, out, err), 0);
    for (const char* word : {"FILE", "--force", "--json", "--device", "--server", "--language"}) {
        EXPECT_NE(out.str().find(word), std::string::npos) << word << "\n" << out.str();
    }
    std::ostringstream unknown;
    args[2] = "fly";
    EXPECT_EQ(ParseCliOptions(3, args.data(), options, out, unknown), 2);
}

TEST(CliProgress, TheRemainingTimeIsSaidAsPeopleSayIt) {
    EXPECT_EQ(RemainingText(1, "x", LANGUAGE_ENGLISH), "Remaining time: less than a minute");
    EXPECT_EQ(RemainingText(2, "x", LANGUAGE_ENGLISH), "Remaining time: 1 minute");
    EXPECT_EQ(RemainingText(13, "x", LANGUAGE_ENGLISH), "Remaining time: 12 minutes");
    EXPECT_EQ(RemainingText(13, "残り時間 13 分", LANGUAGE_JAPANESE), "残り時間 13 分");

    std::ostringstream out;
    CProgressView view(out, ProgressStyle::Lines);
    view.Phase("Write", "write");
    view.Remaining("Remaining time: 2 minutes", 3);
    view.Position(500);
    view.Position(1000);
    EXPECT_EQ(Lines(out.str()).back(), "Write: 100 %");
}

TEST(CliDates, TheDevicesDateIsWrittenTheIsoWay) {
    EXPECT_EQ(IsoCourseDate("170315"), "2017-03-15");
    EXPECT_EQ(IsoCourseDate("991231"), "2099-12-31");
    EXPECT_EQ(IsoCourseDate("171315"), "171315");  // no month 13: kept as it is
    EXPECT_EQ(IsoCourseDate(""), "");
}

}  // namespace

}  // namespace teelink
