#include <gtest/gtest.h>

#include <wx/frame.h>
#include <wx/window.h>

#include <functional>
#include <string>

#include "gui/MainFrame.h"
#include "pages/main/MainPageIds.h"
#include "testsupport/PageTestSupport.h"
#include "ui/TextFit.h"

namespace teelink {

// Every text of every page, in every language, fits its control: measured in
// the control's own font on the platform the tests run on (GTK here, Windows
// under Wine), with the main page showing a device and its versions.
namespace {

class TextFit : public CPageTest, public ::testing::WithParamInterface<int> {
protected:
    // Every window below `root`, depth first.
    static void Walk(wxWindow& root, const std::function<void(wxWindow&)>& visit) {
        for (wxWindow* child : root.GetChildren()) {
            visit(*child);
            Walk(*child, visit);
        }
    }
};

TEST_P(TextFit, EveryTextOfEveryPageFitsItsControl) {
    server.AnswerWith(StartupResponder("1.0.0.3:1.05:2.00:3.00:"));
    PlugDevice(DefaultEmulatorConfig(bus.Dir()));
    StartApp(GetParam());
    ASSERT_TRUE(Harness().PumpUntil([&] { return !Label(IDC_MODEL).empty(); }));

    int measured = 0;
    Walk(*App().Frame(), [&](wxWindow& control) {
        const CTextRoom room = TextRoom(control);
        if (room.text.x == 0) {
            return;
        }
        ++measured;
        EXPECT_TRUE(room.Fits()) << "control " << control.GetId() << " \""
                                 << control.GetLabel().utf8_string() << "\": text " << room.text.x
                                 << "x" << room.text.y << ", room " << room.available.x << "x"
                                 << room.available.y;
    });
    // The four pages' labels, buttons and group boxes were all looked at.
    EXPECT_GE(measured, 25);
}

std::string LanguageName(const ::testing::TestParamInfo<int>& info) {
    static const char* const kNames[] = {"Japanese", "English", "Korean", "SimplifiedChinese",
                                         "TraditionalChinese"};
    return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(Languages, TextFit,
                         ::testing::Values(LANGUAGE_JAPANESE, LANGUAGE_ENGLISH, LANGUAGE_KOREAN,
                                           LANGUAGE_CHINESE_SIMPLIFIED,
                                           LANGUAGE_CHINESE_TRADITIONAL),
                         LanguageName);

}  // namespace

}  // namespace teelink
