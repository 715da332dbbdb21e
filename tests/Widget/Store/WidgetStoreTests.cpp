#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "Widget/Store/WidgetStore.hpp"
#include "tests/Widget/support/TestContainer.hpp"

namespace kelvo {
namespace {

using nlohmann::json;
using testing::minimalSnapshot;
using testing::TestContainer;

TEST(WidgetStore, LoadsTheSnapshotOfTheFirstGroup) {
    TestContainer container({.groups = json::array({"group.com.kelvo.desktop", "group.other"})});
    container.writeState(minimalSnapshot().dump());
    auto snapshot = WidgetStore::loadSnapshot();
    ASSERT_TRUE(snapshot);
    EXPECT_TRUE(snapshot->appRunning);
}

TEST(WidgetStore, UnusableEntitlementsGiveNothingAndWriteNothing) {
    const json entitlements[] = {nullptr, json::array(), json::array({1, "group.com.kelvo.desktop"}), "group.com.kelvo.desktop",
                                 json::array({"../group.com.kelvo.desktop"}), json::array({""})};
    for (const auto& groups : entitlements) {
        TestContainer container({.groups = groups});
        container.writeState(minimalSnapshot().dump());
        auto before = std::filesystem::last_write_time(container.hostDirectory());
        EXPECT_FALSE(WidgetStore::loadSnapshot()) << groups;
        WidgetStore::markActive();
        WidgetStore::send(WidgetCommand{WidgetCommand::Action::start, {}, {}, container.now()});
        EXPECT_FALSE(std::filesystem::exists(container.hostDirectory() / "active")) << groups;
        EXPECT_FALSE(std::filesystem::exists(container.hostDirectory() / "commands")) << groups;
        EXPECT_EQ(std::filesystem::last_write_time(container.hostDirectory()), before);
        EXPECT_EQ(container.reloads(), 0);
    }
}

TEST(WidgetStore, HostIdentifierDropsOneTrailingWidgetSuffix) {
    struct Row {
        std::optional<std::string> ownIdentifier;
        std::optional<std::string> hostDirectory;  // nothing: no container at all
    };
    const Row rows[] = {
        {"com.kelvo.desktop.widget", "com.kelvo.desktop"},
        {"com.kelvo.desktop.Widget", "com.kelvo.desktop.Widget"},
        {"com.kelvo.desktop", "com.kelvo.desktop"},
        {"com.kelvo.desktop.widget.widget", "com.kelvo.desktop.widget"},
        {".widget", std::nullopt},
        {"..", std::nullopt},
        {"a/../../b.widget", std::nullopt},
        {std::nullopt, std::nullopt},
    };
    for (const auto& row : rows) {
        TestContainer container({.bundleIdentifier = row.ownIdentifier});
        auto group = container.root() / "group.com.kelvo.desktop";
        std::filesystem::create_directories(group);
        if (row.hostDirectory) std::filesystem::create_directories(group / *row.hostDirectory);
        WidgetStore::markActive();
        if (row.hostDirectory) {
            EXPECT_TRUE(std::filesystem::exists(group / *row.hostDirectory / "active")) << *row.hostDirectory;
        }
        // Nothing may ever land outside the application's own directory.
        size_t files = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(container.root()))
            files += entry.is_regular_file();
        EXPECT_EQ(files, row.hostDirectory ? 1u : 0u) << row.ownIdentifier.value_or("(none)");
    }
}

TEST(WidgetStore, CorrectsAppRunningOnlyDownwards) {
    TestContainer container({.applicationRunning = false});
    json doc = minimalSnapshot();
    doc["deepLink"] = "kelvo://x";
    container.writeState(doc.dump());
    auto corrected = WidgetStore::loadSnapshot();
    ASSERT_TRUE(corrected);
    EXPECT_FALSE(corrected->appRunning);
    EXPECT_EQ(corrected->updatedAt.millisecondsSince1970, 1796760000000);
    EXPECT_EQ(corrected->deepLink, "kelvo://x");

    container.setApplicationRunning(true);
    doc["appRunning"] = false;
    container.writeState(doc.dump());
    EXPECT_FALSE(WidgetStore::loadSnapshot()->appRunning);
}

TEST(WidgetStore, ReadsAfreshEveryTime) {
    TestContainer container;
    container.writeState(minimalSnapshot().dump());
    EXPECT_TRUE(WidgetStore::loadSnapshot()->loggedIn);
    json doc = minimalSnapshot();
    doc["loggedIn"] = false;
    container.writeState(doc.dump());
    EXPECT_FALSE(WidgetStore::loadSnapshot()->loggedIn);
    container.writeState("{\"updatedAt\": 1");
    EXPECT_FALSE(WidgetStore::loadSnapshot());
}

TEST(WidgetStore, StateThatIsNoRegularFileOrTooLargeReadsAsNothing) {
    TestContainer container;
    std::filesystem::create_directories(container.hostDirectory());
    auto state = container.hostDirectory() / "state.json";

    ASSERT_EQ(::mkfifo(state.c_str(), 0600), 0);
    EXPECT_FALSE(WidgetStore::loadSnapshot());  // must not block waiting for a writer
    std::filesystem::remove(state);

    std::filesystem::create_directory(state);
    EXPECT_FALSE(WidgetStore::loadSnapshot());
    std::filesystem::remove(state);

    // A valid document padded with white space: up to the limit it is read.
    std::string padded = minimalSnapshot().dump();
    padded.insert(1, std::string(WidgetStore::maxSnapshotBytes - padded.size(), ' '));
    container.writeState(padded);
    EXPECT_TRUE(WidgetStore::loadSnapshot());
    padded.insert(1, " ");
    container.writeState(padded);
    EXPECT_FALSE(WidgetStore::loadSnapshot());
}

TEST(WidgetStore, MarkActiveLeavesAnEmptyFileOnlyWhereTheHostDirectoryExists) {
    TestContainer container;
    WidgetStore::markActive();
    EXPECT_FALSE(std::filesystem::exists(container.root() / "group.com.kelvo.desktop"));

    std::filesystem::create_directories(container.hostDirectory());
    std::ofstream(container.hostDirectory() / "active") << "stale";
    WidgetStore::markActive();
    EXPECT_EQ(std::filesystem::file_size(container.hostDirectory() / "active"), 0u);
}

}  // namespace
}  // namespace kelvo
