#include "Widget/Views/MediumTimerView.hpp"

#include <gtest/gtest.h>

#include "Widget/Intents/TimerIntents.hpp"
#include "Widget/Views/KelvoPalette.hpp"
#include "Widget/Views/RecentListView.hpp"
#include "tests/Widget/support/TestContainer.hpp"
#include "tests/Widget/Views/ViewTesting.hpp"

namespace kelvo {
namespace {

using namespace platform::views;
using platform::WidgetFamily;
using platform::WidgetRenderingMode;

class MediumTimer : public ::testing::Test {
protected:
    testing::TestContainer container;
    Date now = container.now();

    static WidgetSnapshot withRecent(int count) {
        auto s = testing::onlineSnapshot();
        for (int i = 0; i < count; ++i)
            s.recent.push_back({std::to_string(i), "Entry " + std::to_string(i), "Project " + std::to_string(i)});
        return s;
    }
    Layout layOut(const WidgetSnapshot& s, WidgetRenderingMode mode = WidgetRenderingMode::fullColor) {
        return testing::layOutView(MediumTimerView{s, now}.body(testing::environment(WidgetFamily::systemMedium, mode)),
                                   WidgetFamily::systemMedium, now);
    }
    // The recent rows' buttons: every button after the column's start or stop button.
    static std::vector<ButtonRegion> rowButtons(const Layout& layout) {
        return {layout.buttons.begin() + 1, layout.buttons.end()};
    }
};

TEST_F(MediumTimer, TwoEqualColumnsAroundADivider) {
    auto layout = layOut(withRecent(2));
    auto frames = testing::boxes(layout, "Frame");
    EXPECT_EQ(frames.front().frame, (Rect{16, 16, 151.5, 138}));  // the timer block
    EXPECT_EQ(testing::boxes(layout, "Divider").at(0).frame, (Rect{181.5, 16, 1, 138}));
    EXPECT_EQ(layout.buttons.at(0).frame.width, 151.5);  // the pill spans its column
}

TEST_F(MediumTimer, EmptyRecentShowsTheNoRecentText) {
    auto layout = layOut(withRecent(0));
    EXPECT_EQ(layout.buttons.size(), 1u);
    const auto* header = testing::textCommand(layout, "Recent");
    ASSERT_TRUE(header);
    EXPECT_EQ(header->frame.y, 16 + (20 - 11 * 1.2) / 2);  // centred in a 20-point frame at the top
    const auto* empty = testing::textCommand(layout, "Your recent tracking shows up here");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->frame.x, 196.5);
    EXPECT_EQ(empty->frame.y, 16 + 20 + 9);
    EXPECT_EQ(empty->maxLines, 3);
    EXPECT_EQ(empty->color, Color::secondary());
}

TEST_F(MediumTimer, RowsSitNinePointsApartAtTheTopAndNeverMoreThanThree) {
    for (int count : {1, 2, 3, 5}) {
        auto layout = layOut(withRecent(count));
        auto rows = rowButtons(layout);
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(std::min(count, 3))) << count;
        // Three full rows and their gaps are a little taller than the column, so the whole
        // widget content is centred a little higher; measure from the header's own frame.
        double headerTop = testing::textCommand(layout, "Recent")->frame.y - (20 - 11 * 1.2) / 2;
        EXPECT_NEAR(headerTop, count < 3 ? 16 : 16 - (20 + 3 * (12 * 1.2 + 1 + 11 * 1.2) + 4 * 9 - 138) / 2, 1e-9) << count;
        // Each row: a 12-point name over an 11-point project, 1 apart, beside a 22-point button.
        double rowHeight = 12 * 1.2 + 1 + 11 * 1.2;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            double top = headerTop + 20 + 9 + static_cast<double>(i) * (rowHeight + 9);
            EXPECT_NEAR(rows[i].frame.y, top + (rowHeight - 22) / 2, 1e-9) << count << " row " << i;
            EXPECT_EQ(rows[i].frame.x + 22, 348);  // at the trailing edge
            EXPECT_EQ(rows[i].intent, StartRecentIntent("Entry " + std::to_string(i), "Project " + std::to_string(i)).value());
        }
    }
}

TEST_F(MediumTimer, RowsKeepDocumentOrderAndLabelTheirButtons) {
    auto s = withRecent(5);
    auto layout = layOut(s);
    auto rows = rowButtons(layout);
    EXPECT_EQ(rows[0].accessibilityLabel, "Start tracking: Entry 0");
    EXPECT_EQ(rows[2].accessibilityLabel, "Start tracking: Entry 2");
    EXPECT_FALSE(testing::textCommand(layout, "Entry 3"));
}

TEST_F(MediumTimer, BlankProjectShowsTheNameAloneButTheCommandCarriesItAsStored) {
    auto s = testing::onlineSnapshot();
    s.recent = {{"a", "Weekly sync", "  "}, {"b", "   ", std::nullopt}};
    auto layout = layOut(s);
    EXPECT_FALSE(testing::textCommand(layout, "  "));
    auto rows = rowButtons(layout);
    EXPECT_EQ(rows[0].intent, StartRecentIntent("Weekly sync", "  ").value());
    EXPECT_EQ(rows[1].intent, StartRecentIntent("   ", std::nullopt).value());
    // The name line alone is centred beside the button.
    const auto* name = testing::textCommand(layout, "Weekly sync");
    EXPECT_NEAR(name->frame.y + name->frame.height / 2, rows[0].frame.y + 11, 1e-9);
    // A blank name is shown as it is, not replaced.
    EXPECT_TRUE(testing::textCommand(layout, "   "));
    EXPECT_FALSE(testing::textCommand(layout, "No description"));
}

struct StartCase {
    bool running;
    bool offline;
    std::optional<bool> canTrack;
    bool primaryEnabled;
    bool rowsEnabled;
};

class RecentRowsEnabled : public MediumTimer, public ::testing::WithParamInterface<StartCase> {};

TEST_P(RecentRowsEnabled, RowsNeedActionsOnlineAndNothingRunning) {
    const auto& c = GetParam();
    auto s = withRecent(3);
    s.offline = c.offline;
    s.canTrack = c.canTrack;
    if (c.running) s.running = WidgetSnapshot::RunningEntry{"Now", std::nullopt, now.addingSeconds(-60)};
    auto layout = layOut(s);
    EXPECT_EQ(layout.buttons.at(0).enabled, c.primaryEnabled);
    for (const auto& row : rowButtons(layout)) EXPECT_EQ(row.enabled, c.rowsEnabled);
    EXPECT_EQ(RecentListView::canStart(s), c.rowsEnabled);
}

INSTANTIATE_TEST_SUITE_P(MediumTimer, RecentRowsEnabled,
                         ::testing::Values(StartCase{false, false, std::nullopt, true, true},
                                           StartCase{true, false, std::nullopt, true, false},
                                           StartCase{false, true, true, true, false},
                                           StartCase{false, false, false, false, false},
                                           StartCase{false, false, true, true, true}));

struct RowColours {
    bool canStart;
    WidgetRenderingMode mode;
    Color symbol;
    Color disc;
};

class RecentRowColours : public MediumTimer, public ::testing::WithParamInterface<RowColours> {};

TEST_P(RecentRowColours, FollowCanStartThenRenderingMode) {
    auto s = withRecent(1);
    if (!GetParam().canStart) s.offline = true;
    auto layout = layOut(s, GetParam().mode);
    auto row = rowButtons(layout).at(0);
    const draw::Symbol* play = nullptr;
    for (const auto& c : layout.commands)
        if (const auto* sym = std::get_if<draw::Symbol>(&c); sym && sym->name == "play.fill" && sym->frame.x > 300) play = sym;
    ASSERT_TRUE(play);
    EXPECT_EQ(play->color, GetParam().symbol);
    EXPECT_EQ(play->font, Font::system(8, FontWeight::bold));
    const auto* disc = testing::shapeBehind(layout, play->frame);
    ASSERT_TRUE(disc);
    EXPECT_EQ(disc->kind, ShapeKind::circle);
    EXPECT_EQ(disc->frame, row.frame);
    EXPECT_EQ(disc->color, GetParam().disc);
}

INSTANTIATE_TEST_SUITE_P(
    MediumTimer, RecentRowColours,
    ::testing::Values(RowColours{true, WidgetRenderingMode::fullColor, KelvoPalette::aubergine(), KelvoPalette::pink()},
                      RowColours{true, WidgetRenderingMode::accented, Color::primary(), Color::primary().withOpacity(0.15)},
                      RowColours{false, WidgetRenderingMode::fullColor, Color::secondary(), Color::primary().withOpacity(0.08)},
                      RowColours{false, WidgetRenderingMode::vibrant, Color::secondary(), Color::primary().withOpacity(0.08)}));

TEST_F(MediumTimer, RunningShowsTheTodayRowUnderTheTimer) {
    auto s = withRecent(1);
    s.running = WidgetSnapshot::RunningEntry{"Design review", std::nullopt, now.addingSeconds(-90)};
    auto layout = layOut(s);
    const auto* timer = testing::textCommand(layout, "0:01:30");
    const auto* today = testing::textCommand(layout, "Today");
    ASSERT_TRUE(timer && today);
    EXPECT_NEAR(today->frame.y, timer->frame.y + timer->frame.height, 1e-9);
}

TEST_F(MediumTimer, LongTextsAreCutToOneLineEach) {
    auto s = testing::onlineSnapshot();
    s.recent = {{"a", std::string(60, 'n'), std::string(60, 'p')}};
    auto layout = layOut(s);
    EXPECT_EQ(testing::textCommand(layout, std::string(60, 'n'))->maxLines, 1);
    EXPECT_EQ(testing::textCommand(layout, std::string(60, 'p'))->maxLines, 1);
    // The button keeps its place at the trailing edge.
    EXPECT_EQ(rowButtons(layout).at(0).frame.x, 326);
}

}  // namespace
}  // namespace kelvo
