#include "Widget/Views/TimerSummaryView.hpp"

#include <gtest/gtest.h>

#include "Widget/Views/KelvoPalette.hpp"
#include "tests/Widget/support/TestContainer.hpp"
#include "tests/Widget/Views/ViewTesting.hpp"

namespace kelvo {
namespace {

using namespace platform::views;
using platform::WidgetFamily;

// Every test runs at 2026-12-08 23:00 in Berlin (the test container's clock and zone).
class TimerSummary : public ::testing::Test {
protected:
    testing::TestContainer container;
    Date now = container.now();
    Date midnight = Date::fromMilliseconds(1796684400000.0);  // 2026-12-08 00:00 in Berlin

    WidgetSnapshot idle() {
        auto s = testing::onlineSnapshot(now);
        s.today = WidgetSnapshot::TodayTotal{midnight, 11520};
        return s;
    }
    WidgetSnapshot running(std::optional<std::string> name = "Design review",
                           std::optional<std::string> project = "Website redesign") {
        auto s = idle();
        s.running = WidgetSnapshot::RunningEntry{std::move(name), std::move(project), now.addingSeconds(-1458)};
        return s;
    }
    Layout layOut(const WidgetSnapshot& s, bool showsToday = false, WidgetFamily family = WidgetFamily::systemSmall) {
        return testing::layOutView(TimerSummaryView{s, now, showsToday}.body(testing::environment(family)), family, now);
    }
};

TEST_F(TimerSummary, IdleShowsTodaysTotalAndAStartButton) {
    auto layout = layOut(idle());
    EXPECT_EQ(layout.texts, (std::vector<std::string>{"Today", "3:12:00", "Not tracking", "Start tracking"}));
    EXPECT_TRUE(testing::symbolCommand(layout, "play.fill"));
    ASSERT_EQ(layout.buttons.size(), 1u);
    EXPECT_TRUE(layout.buttons[0].enabled);  // canTrack absent, online
    EXPECT_EQ(layout.buttons[0].intent.type, "StartTrackingIntent");
    const auto* total = testing::textCommand(layout, "3:12:00");
    EXPECT_EQ(total->font, Font::system(26, FontWeight::semibold, FontDesign::rounded).withMonospacedDigit());
    EXPECT_EQ(testing::textCommand(layout, "Not tracking")->color, Color::secondary());
    EXPECT_FALSE(layout.hasLiveTimers);
}

TEST_F(TimerSummary, IdleTotalOfAnotherDayIsZero) {
    auto s = idle();
    s.today->dayStart = midnight.addingSeconds(-3600);  // yesterday evening
    EXPECT_TRUE(testing::textCommand(layOut(s), "0:00:00"));
}

TEST_F(TimerSummary, RunningShowsProjectDotNameAndLiveTimer) {
    auto layout = layOut(running());
    EXPECT_EQ(layout.texts, (std::vector<std::string>{"Website redesign", "Design review", "0:24:18", "Stop tracking"}));
    EXPECT_TRUE(layout.hasLiveTimers);
    const auto* name = testing::textCommand(layout, "Design review");
    EXPECT_EQ(name->color, Color::primary());
    EXPECT_EQ(name->maxLines, 2);
    auto dots = testing::boxes(layout, "Shape");
    ASSERT_FALSE(dots.empty());
    EXPECT_EQ(dots[0].frame.width, 6);
    EXPECT_NE(dots[0].details.find("#EC84FF accentable"), std::string::npos) << dots[0].details;
    EXPECT_TRUE(testing::symbolCommand(layout, "stop.fill"));
    EXPECT_EQ(layout.buttons.at(0).intent.type, "StopTrackingIntent");
    EXPECT_TRUE(layout.buttons[0].enabled);
}

TEST_F(TimerSummary, TodayRowOnlyWhenAskedFor) {
    auto small = layOut(running());
    EXPECT_FALSE(testing::textCommand(small, "Today"));
    // Medium: 11520 stored today plus the 1458 seconds the entry has run.
    auto medium = layOut(running(), true, WidgetFamily::systemMedium);
    EXPECT_TRUE(testing::textCommand(medium, "Today"));
    EXPECT_TRUE(testing::textCommand(medium, "3:36:18"));
    // Also without stored data for today: then only the running entry counts.
    auto s = running();
    s.today.reset();
    EXPECT_TRUE(testing::textCommand(layOut(s, true, WidgetFamily::systemMedium), "0:24:18"));
}

TEST_F(TimerSummary, OfflineShowsTheOfflineLabelInsteadOfTheProject) {
    auto s = running();
    s.offline = true;
    auto layout = layOut(s);
    EXPECT_EQ(layout.texts, (std::vector<std::string>{"Offline", "Design review", "0:24:18", "Stop tracking"}));
    EXPECT_TRUE(testing::symbolCommand(layout, "wifi.slash"));
    EXPECT_FALSE(layout.buttons.at(0).enabled);
    for (const auto& shape : testing::commands<draw::Shape>(layout)) EXPECT_NE(shape.frame.width, 6);  // no dot
}

struct EnabledCase {
    bool offline;
    std::optional<bool> canTrack;
    bool enabled;
};

class TimerSummaryEnabled : public TimerSummary, public ::testing::WithParamInterface<EnabledCase> {};

TEST_P(TimerSummaryEnabled, ButtonFollowsActionsEnabled) {
    for (bool isRunning : {false, true}) {
        auto s = isRunning ? running() : idle();
        s.offline = GetParam().offline;
        s.canTrack = GetParam().canTrack;
        EXPECT_EQ(layOut(s).buttons.at(0).enabled, GetParam().enabled);
    }
}

INSTANTIATE_TEST_SUITE_P(TimerSummary, TimerSummaryEnabled,
                         ::testing::Values(EnabledCase{false, std::nullopt, true}, EnabledCase{true, std::nullopt, false},
                                           EnabledCase{false, false, false}, EnabledCase{true, true, true}));

TEST_F(TimerSummary, BlankNameShowsNoDescriptionInTheSecondaryStyle) {
    for (std::optional<std::string> name : {std::optional<std::string>{}, std::optional<std::string>{" \n "}}) {
        auto layout = layOut(running(name));
        const auto* text = testing::textCommand(layout, "No description");
        ASSERT_TRUE(text);
        EXPECT_EQ(text->color, Color::secondary());
    }
}

TEST_F(TimerSummary, BlankProjectLeavesAnEmptyCaptionBesideTheDot) {
    auto layout = layOut(running("Design review", "   "));
    EXPECT_EQ(layout.texts.front(), "");
    auto absent = layOut(running("Design review", std::nullopt));
    EXPECT_EQ(absent.texts.front(), "");
}

TEST_F(TimerSummary, HeaderAtTheTopButtonAtTheBottom) {
    auto layout = layOut(running());
    const Rect mark = testing::boxes(layout, "Background").front().frame;  // the mark is the first background
    EXPECT_EQ(mark, (Rect{134, 16, 20, 20}));
    const auto& button = layout.buttons.at(0).frame;
    EXPECT_NEAR(button.y + button.height, 154, 1e-9);
    EXPECT_EQ(button.width, 138);
}

TEST_F(TimerSummary, LongNamesStopAtTwoLinesAndCaptionsAtOne) {
    auto layout = layOut(running(std::string(80, 'n'), std::string(80, 'p')));
    const auto* name = testing::textCommand(layout, std::string(80, 'n'));
    EXPECT_EQ(name->maxLines, 2);
    EXPECT_NEAR(name->frame.height, 2 * 13 * 1.2, 1e-9);
    const auto* caption = testing::textCommand(layout, std::string(80, 'p'));
    EXPECT_EQ(caption->maxLines, 1);
}

}  // namespace
}  // namespace kelvo
