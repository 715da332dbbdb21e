#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "Platform/Views/ViewJson.hpp"
#include "Widget/Views/TimerWidgetView.hpp"
#include "tests/Widget/support/TestContainer.hpp"
#include "tests/Widget/Views/ViewTesting.hpp"

// Whole widgets as text dumps of their placed trees, compared with tests/golden/. The fake
// measurer keeps them independent of installed fonts. KELVO_UPDATE_GOLDEN=1 rewrites them.
namespace kelvo {
namespace {

using platform::WidgetFamily;
using platform::WidgetRenderingMode;

std::filesystem::path goldenDirectory() {
    const char* source = std::getenv("KELVO_SOURCE_DIR");
    return std::filesystem::path(source ? source : ".") / "tests" / "golden";
}

struct GoldenCase {
    const char* name;
    WidgetFamily family;
    WidgetRenderingMode mode;
    std::optional<WidgetSnapshot> (*snapshot)(Date now);
};

std::optional<WidgetSnapshot> none(Date) { return std::nullopt; }

std::optional<WidgetSnapshot> running(Date now) {
    auto s = testing::onlineSnapshot(now);
    s.deepLink = "kelvo://timer";
    s.running = WidgetSnapshot::RunningEntry{"Design review", "Website redesign", now.addingSeconds(-1458)};
    s.today = WidgetSnapshot::TodayTotal{now, 11520};
    s.recent = {{"0", "Sprint planning", "Mobile app"}, {"1", "Customer interviews", "Research"}, {"2", "Weekly sync", {}}};
    return s;
}

std::optional<WidgetSnapshot> idle(Date now) {
    auto s = running(now);
    s->running.reset();
    return s;
}

std::optional<WidgetSnapshot> offline(Date now) {
    auto s = running(now);
    s->offline = true;
    s->canTrack = true;
    return s;
}

class GoldenDump : public ::testing::TestWithParam<GoldenCase> {};

// Compares `actual` with the golden file `name`, or rewrites it under KELVO_UPDATE_GOLDEN=1.
void expectGolden(const std::string& name, const std::string& actual) {
    auto path = goldenDirectory() / name;
    if (const char* update = std::getenv("KELVO_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << actual;
        GTEST_SKIP() << "rewrote " << path;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "missing " << path << "; run with KELVO_UPDATE_GOLDEN=1 to write it";
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(actual, expected.str()) << "to accept the change, run with KELVO_UPDATE_GOLDEN=1";
}

platform::views::View bodyFor(const GoldenCase& c, Date now) {
    return TimerWidgetView{TimerEntry{now, c.snapshot(now)}}.body(testing::environment(c.family, c.mode));
}

TEST_P(GoldenDump, MatchesTheCheckedInTree) {
    testing::TestContainer container;
    const auto& c = GetParam();
    expectGolden(std::string(c.name) + ".txt", dump(testing::layOutView(bodyFor(c, container.now()), c.family, container.now())));
}

// The view's text as it goes to the host, byte for byte: the host and older hosts compare it.
TEST_P(GoldenDump, WritesTheCheckedInWireText) {
    testing::TestContainer container;
    const auto& c = GetParam();
    std::string text;
    platform::views::appendJson(text, bodyFor(c, container.now()));
    expectGolden(std::string(c.name) + ".wire.json", text);
}

INSTANTIATE_TEST_SUITE_P(
    Widget, GoldenDump,
    ::testing::Values(GoldenCase{"small-running-fullColor", WidgetFamily::systemSmall, WidgetRenderingMode::fullColor, running},
                      GoldenCase{"medium-idle-fullColor", WidgetFamily::systemMedium, WidgetRenderingMode::fullColor, idle},
                      GoldenCase{"medium-offline-accented", WidgetFamily::systemMedium, WidgetRenderingMode::accented, offline},
                      GoldenCase{"small-no-snapshot", WidgetFamily::systemSmall, WidgetRenderingMode::fullColor, none}),
    [](const auto& param) {
        std::string name = param.param.name;
        std::erase(name, '-');
        return name;
    });

}  // namespace
}  // namespace kelvo
