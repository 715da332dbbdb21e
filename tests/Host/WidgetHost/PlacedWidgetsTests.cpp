#include "Host/WidgetHost/PlacedWidgets.hpp"

#include <climits>

#include <gtest/gtest.h>

#include "Platform/System/Files.hpp"
#include "TempDirectory.hpp"

namespace widgethost {
namespace {

using platform::WidgetFamily;

PlacedWidgetList twoWidgets() {
    PlacedWidgetList list;
    list.widgets.push_back({list.takeIdentifier(), "Clock", WidgetFamily::systemSmall, "com.example.widget"});
    list.widgets.push_back({list.takeIdentifier(), "Clock", WidgetFamily::systemMedium, "com.example.widget"});
    return list;
}

TEST(PlacedWidgets, SurvivesARoundTripThroughTheFile) {
    TempDirectory dir;
    auto file = dir / "config/widget-host/widgets.json";
    auto list = twoWidgets();
    ASSERT_TRUE(savePlacedWidgets(file, list));  // creates the directories
    std::vector<std::string> problems;
    auto loaded = loadPlacedWidgets(file, &problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(loaded.widgets, list.widgets);
    EXPECT_EQ(loaded.nextNumber, 3u);
}

// Every change reaches the file before the list; one that cannot be written changes neither.
TEST(PlacedWidgets, TheStoreKeepsOnlyWhatItCouldWrite) {
    TempDirectory dir;
    auto file = dir / "widgets.json";
    PlacedWidgetStore store(file);
    auto added = store.add({"", "Clock", WidgetFamily::systemSmall, "com.example.widget", WidgetPosition{5, 6}});
    ASSERT_TRUE(added);
    EXPECT_EQ(added->id, "1");
    ASSERT_TRUE(store.move("1", {7, 8}));
    EXPECT_EQ(loadPlacedWidgets(file).widgets, store.list().widgets);
    EXPECT_EQ(store.list().widgets[0].position, (WidgetPosition{7, 8}));

    dir.write("blocked", "a file where a directory should be");
    PlacedWidgetStore blocked(dir / "blocked/widgets.json");
    EXPECT_FALSE(blocked.add({"", "Clock", WidgetFamily::systemSmall, "com.example.widget"}));
    EXPECT_TRUE(blocked.list().widgets.empty());

    ASSERT_TRUE(store.remove("1"));
    EXPECT_TRUE(loadPlacedWidgets(file).widgets.empty());
}

TEST(PlacedWidgets, IdentifiersAreNeverReused) {
    auto list = twoWidgets();
    list.widgets.erase(list.widgets.begin() + 1);  // remove "2"
    auto decoded = decodePlacedWidgets(encodePlacedWidgets(list));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->takeIdentifier(), "3");
}

TEST(PlacedWidgets, ANextNumberBehindTheIdentifiersInUseIsCorrected) {
    auto decoded = decodePlacedWidgets(R"({"nextNumber": 1, "widgets": [
        {"id": "7", "kind": "K", "family": "systemSmall", "extension": "com.example"},
        {"id": "2", "kind": "K", "family": "systemSmall", "extension": "com.example"}]})");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->takeIdentifier(), "8");
}

TEST(PlacedWidgets, TakeIdentifierSkipsNamesAlreadyInUse) {
    PlacedWidgetList list;
    list.widgets.push_back({"1", "K", WidgetFamily::systemSmall, "com.example"});
    EXPECT_EQ(list.takeIdentifier(), "2");
}

TEST(PlacedWidgets, BrokenRecordsAreLeftOutAndTheRestKept) {
    std::vector<std::string> dropped;
    auto decoded = decodePlacedWidgets(R"({"widgets": [
        {"id": "1", "kind": "K", "family": "systemSmall", "extension": "com.example"},
        {"id": "2", "kind": "K", "family": "systemLarge", "extension": "com.example"},
        {"id": "3", "kind": "", "family": "systemSmall", "extension": "com.example"},
        {"id": "4", "kind": "K", "family": "systemSmall", "extension": "../etc"},
        {"id": "5", "kind": "K", "family": "systemSmall"},
        {"id": 6, "kind": "K", "family": "systemSmall", "extension": "com.example"},
        {"id": "1", "kind": "Again", "family": "systemMedium", "extension": "com.example"},
        "not an object",
        {"id": "9", "kind": "K", "family": "systemMedium", "extension": "com.example"}]})",
                                       &dropped);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->widgets.size(), 2u);
    EXPECT_EQ(decoded->widgets[0].id, "1");
    EXPECT_EQ(decoded->widgets[0].kind, "K");
    EXPECT_EQ(decoded->widgets[1].id, "9");
    EXPECT_EQ(dropped.size(), 7u);
}

TEST(PlacedWidgets, AMissingFileIsAnEmptyList) {
    TempDirectory dir;
    std::vector<std::string> problems;
    auto loaded = loadPlacedWidgets(dir / "widgets.json", &problems);
    EXPECT_TRUE(loaded.widgets.empty());
    EXPECT_TRUE(problems.empty());
}

TEST(PlacedWidgets, AnUnreadableFileIsKeptAsideRatherThanOverwritten) {
    TempDirectory dir;
    auto file = dir.write("widgets.json", R"({"widgets": "oops")");
    std::vector<std::string> problems;
    auto loaded = loadPlacedWidgets(file, &problems);
    EXPECT_TRUE(loaded.widgets.empty());
    EXPECT_EQ(problems.size(), 1u);
    auto aside = platform::readRegularFile(dir / "widgets.json.broken", 1 << 20);
    ASSERT_TRUE(aside);
    EXPECT_EQ(*aside, R"({"widgets": "oops")");
    // Saving now cannot destroy what was set aside.
    ASSERT_TRUE(savePlacedWidgets(file, twoWidgets()));
    EXPECT_TRUE(platform::readRegularFile(dir / "widgets.json.broken", 1 << 20));
}

TEST(PlacedWidgets, DocumentsOfTheWrongShapeAreRefused) {
    // A record nested 100,000 deep must not crash the host when it is reported as dropped.
    std::string deep = R"({"widgets": [)" + std::string(100'000, '[') + std::string(100'000, ']') + "]}";
    for (std::string text : {"", "[]", "{}", R"({"widgets": {}})", "null", "{\"widgets\": [] ", deep.c_str()})
        EXPECT_FALSE(decodePlacedWidgets(text)) << text.substr(0, 40);
}

TEST(PlacedWidgets, PositionsOutOfRangeAreDropped) {
    for (const char* x : {"-9223372036854775808", "9223372036854775807", "1000001", "-2147483648"}) {
        auto decoded = decodePlacedWidgets(std::string(R"({"widgets": [{"id": "1", "kind": "K", "family": "systemSmall",
            "extension": "com.example", "y": 0, "x": )") + x + "}]}");
        ASSERT_TRUE(decoded && decoded->widgets.size() == 1) << x;
        EXPECT_FALSE(decoded->widgets[0].position) << x;
    }
    EXPECT_FALSE(isPlausiblePosition({INT_MIN, 0}));
    EXPECT_TRUE(isPlausiblePosition({-1'000'000, 1'000'000}));
}

}  // namespace
}  // namespace widgethost
