#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Platform/System/Files.hpp"
#include "Widget/Intents/TimerIntents.hpp"
#include "tests/Widget/support/TestContainer.hpp"

namespace kelvo {
namespace {

using nlohmann::json;

json onlyCommand(const testing::TestContainer& container) {
    auto files = container.commandFiles();
    EXPECT_EQ(files.size(), 1u);
    if (files.empty()) return nullptr;
    return json::parse(*platform::readRegularFile(files[0], 4096));
}

TEST(TimerIntents, EachPressWritesItsCommand) {
    struct Row {
        const char* what;
        platform::IntentValue value;
        json expected;  // without issuedAt
    };
    const Row rows[] = {
        {"start", StartTrackingIntent{}.value(), {{"action", "start"}}},
        {"stop", StopTrackingIntent{}.value(), {{"action", "stop"}}},
        {"recent with project", StartRecentIntent("Design review", "Web").value(),
         {{"action", "startRecent"}, {"name", "Design review"}, {"project", "Web"}}},
        {"recent without project", StartRecentIntent("Weekly sync", std::nullopt).value(),
         {{"action", "startRecent"}, {"name", "Weekly sync"}}},
        {"recent with an empty name", StartRecentIntent("", std::nullopt).value(),
         {{"action", "startRecent"}, {"name", ""}}},
    };
    platform::IntentRegistry registry;
    registerTimerIntents(registry);
    for (const auto& row : rows) {
        testing::TestContainer container;
        container.writeState(testing::minimalSnapshot().dump());
        const auto* type = registry.find(row.value.type);
        ASSERT_TRUE(type) << row.what;
        EXPECT_TRUE(type->perform(row.value, {})) << row.what;
        json command = onlyCommand(container);
        EXPECT_EQ(command["issuedAt"], container.now().millisecondsSince1970) << row.what;
        command.erase("issuedAt");
        EXPECT_EQ(command, row.expected) << row.what;
    }
}

TEST(TimerIntents, ValuesThatDoNotFitAreRefusedBeforeAnythingIsWritten) {
    testing::TestContainer container;
    platform::IntentRegistry registry;
    registerTimerIntents(registry);
    const auto* recent = registry.find("StartRecentIntent");
    ASSERT_TRUE(recent);
    EXPECT_FALSE(recent->perform({"StartRecentIntent", {{"project", "Web"}}}, {}));
    EXPECT_FALSE(recent->perform({"StartRecentIntent", {{"name", std::nullopt}}}, {}));
    EXPECT_FALSE(StartTrackingIntent::fromValue({"StopTrackingIntent", {}}));
    EXPECT_TRUE(container.commandFiles().empty());
    EXPECT_FALSE(registry.find("OpenAppIntent"));
}

TEST(TimerIntents, TitlesFallBackToEnglish) {
    testing::TestContainer container;
    EXPECT_EQ(StartTrackingIntent::title(), "Start tracking");
    EXPECT_EQ(StopTrackingIntent::title(), "Stop tracking");
    EXPECT_EQ(StartRecentIntent::title(), "Start recent tracking");
    EXPECT_EQ(StartRecentIntent::nameTitle(), "Name");
    EXPECT_EQ(StartRecentIntent::projectTitle(), "Project");
}

}  // namespace
}  // namespace kelvo
