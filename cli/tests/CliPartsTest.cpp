// The command line's parts in-process: options, JSON lines, progress output.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "cli/JsonLine.h"
#include "cli/ProgressView.h"
#include "cli/tests/CliTestSupport.h"

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

TEST(CliNotifier, AWorkersTextsWaitForTheMainThreadWhileABarIsDrawn) {
    std::ostringstream err;
    CCliNotifier notifier(err);
    notifier.ShowPlain("before");
    notifier.Defer(true);
    std::thread worker([&notifier] {
        notifier.ShowPlain("Error: HID write");
        notifier.ShowPlain("second");
    });
    worker.join();
    EXPECT_EQ(err.str(), "teelink-cli: before\n");
    EXPECT_TRUE(notifier.Pending());
    notifier.Defer(false);  // prints what waits
    EXPECT_FALSE(notifier.Pending());
    EXPECT_EQ(err.str(),
              "teelink-cli: before\nteelink-cli: Error: HID write\nteelink-cli: second\n");
    notifier.ShowPlain("after");
    EXPECT_EQ(Lines(err.str()).back(), "teelink-cli: after");
}

}  // namespace

}  // namespace teelink
