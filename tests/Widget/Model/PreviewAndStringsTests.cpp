#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>

#include <nlohmann/json.hpp>

#include "Platform/System/Localization.hpp"
#include "Widget/Model/WidgetSnapshot.hpp"
#include "tests/Widget/support/TestContainer.hpp"

namespace kelvo {
namespace {

using nlohmann::json;

const json defaultStrings = {
    {"startTracking", "Start tracking"},
    {"stopTracking", "Stop tracking"},
    {"today", "Today"},
    {"recent", "Recent"},
    {"noRecent", "Your recent tracking shows up here"},
    {"notTracking", "Not tracking"},
    {"noDescription", "No description"},
    {"openApp", "Open Kelvo to see your timer"},
    {"loggedOut", "Log in to Kelvo to start tracking"},
    {"offline", "Offline"},
};

json stringsOf(const WidgetSnapshot::Strings& strings) {
    WidgetSnapshot s;
    s.strings = strings;
    return json::parse(s.encode())["strings"];
}

TEST(Strings, WithoutACatalogEveryTextIsItsDefault) {
    testing::TestContainer container;
    EXPECT_EQ(stringsOf(WidgetSnapshot::Strings::localized()), defaultStrings);
}

// A catalog that translates only one key: that key changes, every other text stays its default.
TEST(Strings, PartialCatalogFallsBackKeyByKey) {
    auto directory = std::filesystem::temp_directory_path() / "kelvo-partial-catalog";
    std::filesystem::create_directories(directory / "de/LC_MESSAGES");
    std::ofstream(directory / "partial.po") << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                                               "msgid \"widgetToday\"\nmsgstr \"Heute\"\n";
    std::string compile = "msgfmt -o " + (directory / "de/LC_MESSAGES/partial.mo").string() + " " +
                          (directory / "partial.po").string();
    ASSERT_EQ(std::system(compile.c_str()), 0);

    setenv("LANGUAGE", "de", 1);
    std::setlocale(LC_ALL, "C.UTF-8");
    testing::TestContainer container;
    // The container's bundle has no catalog; swap in one that has.
    platform::Bundle bundle;
    bundle.directory = directory;
    bundle.infoDictionary = std::make_shared<const json>(json{{"LocalizationDomain", "partial"}, {"LocalizationDirectory", "."}});
    platform::Services services;
    services.mainBundle = [&]() -> const platform::Bundle& { return bundle; };
    {
        platform::ScopedServices scope(services);
        json expected = defaultStrings;
        expected["today"] = "Heute";
        EXPECT_EQ(stringsOf(WidgetSnapshot::Strings::localized()), expected);
        EXPECT_EQ(platform::localizedString("widgetMissing", "Fallback"), "Fallback");
    }
    unsetenv("LANGUAGE");
    std::filesystem::remove_all(directory);
}

TEST(Preview, IsARunningSampleBuiltForNow) {
    testing::TestContainer container;  // now: 2026-12-08 23:00 Berlin
    auto sample = WidgetSnapshot::preview();
    EXPECT_TRUE(sample.actionsEnabled());
    EXPECT_EQ(sample.updatedAt, container.now());
    ASSERT_TRUE(sample.running);
    EXPECT_EQ(sample.running->name, "Design review");
    EXPECT_EQ(sample.running->project, "Website redesign");
    EXPECT_EQ(container.now().secondsSince(sample.running->startTime), 1458);
    ASSERT_TRUE(sample.today);
    EXPECT_EQ(sample.today->dayStart.secondsSince1970(), 1796684400);  // Berlin midnight
    EXPECT_EQ(sample.today->baseSeconds, 11520);
    ASSERT_EQ(sample.recent.size(), 3u);
    EXPECT_EQ(sample.recent[0].id, "0");
    EXPECT_EQ(sample.recent[1].name, "Customer interviews");
    EXPECT_EQ(sample.recent[1].project, "Research");
    EXPECT_FALSE(sample.recent[2].project);
    EXPECT_EQ(stringsOf(sample.strings), defaultStrings);
    // The live today total stands at 3:36:18 when drawn at the moment it is built.
    EXPECT_EQ(container.now().secondsSince(*sample.todayCountingReference(container.now())), 11520 + 1458);
}

TEST(Preview, JustAfterMidnightTheRunningEntryCountsFromMidnight) {
    testing::TestContainer container({.nowMilliseconds = (1796684400.0 + 600) * 1000});  // 00:10 Berlin
    auto sample = WidgetSnapshot::preview();
    EXPECT_LT(sample.running->startTime, sample.today->dayStart);
    EXPECT_EQ(container.now().secondsSince(*sample.todayCountingReference(container.now())), 11520 + 600);
}

TEST(Preview, IsBuiltAfreshAtEachAccess) {
    testing::TestContainer container;
    auto first = WidgetSnapshot::preview();
    container.setNow(container.now().millisecondsSince1970 + 60000);
    auto second = WidgetSnapshot::preview();
    EXPECT_EQ(second.updatedAt.secondsSince(first.updatedAt), 60);
    EXPECT_EQ(second.running->startTime.secondsSince(first.running->startTime), 60);
}

}  // namespace
}  // namespace kelvo
