#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "Platform/System/Files.hpp"
#include "Widget/Store/WidgetStore.hpp"
#include "tests/Widget/support/TestContainer.hpp"

namespace kelvo {
namespace {

using nlohmann::json;
using testing::minimalSnapshot;
using testing::TestContainer;

WidgetCommand start(platform::Date at) { return {WidgetCommand::Action::start, std::nullopt, std::nullopt, at}; }

json readCommand(const std::filesystem::path& file) { return json::parse(*platform::readRegularFile(file, 1 << 20)); }

TEST(CommandDelivery, WritesOneCompleteFileUnderAFreshUuidName) {
    TestContainer container;
    WidgetStore::send(start(container.now()));
    auto files = container.commandFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::regex_match(files[0].filename().string(),
                                 std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\.json")));
    json doc = readCommand(files[0]);
    EXPECT_EQ(doc, (json{{"action", "start"}, {"issuedAt", container.now().millisecondsSince1970}}));
}

// A sender killed between writing and renaming leaves its temporary file; the next send removes
// it, but never one that a sender is writing now.
TEST(CommandDelivery, SendingRemovesStaleTemporaryFilesOnly) {
    TestContainer container;
    auto commands = container.hostDirectory() / "commands";
    std::filesystem::create_directories(commands);
    const std::pair<const char*, bool> leftovers[] = {
        {".A.json.0123456789ab.tmp", true}, {".B.json.0123456789ab.tmp", false}, {"kept.tmp", true}};
    for (const auto& [name, old] : leftovers) {
        std::ofstream(commands / name) << "{";
        if (old) std::filesystem::last_write_time(commands / name, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    }
    WidgetStore::send(start(container.now()));
    EXPECT_FALSE(std::filesystem::exists(commands / leftovers[0].first));
    EXPECT_TRUE(std::filesystem::exists(commands / leftovers[1].first));
    EXPECT_TRUE(std::filesystem::exists(commands / leftovers[2].first));
}

TEST(CommandDelivery, StartRecentCarriesNameAndProjectExactlyAsGiven) {
    TestContainer container;
    WidgetStore::send({WidgetCommand::Action::startRecent, "Design review", std::nullopt, container.now()});
    WidgetStore::send({WidgetCommand::Action::startRecent, "", "  ", container.now()});
    std::set<json> written;
    for (const auto& file : container.commandFiles()) {
        json doc = readCommand(file);
        doc.erase("issuedAt");
        written.insert(doc);
    }
    EXPECT_EQ(written, (std::set<json>{{{"action", "startRecent"}, {"name", "Design review"}},
                                       {{"action", "startRecent"}, {"name", ""}, {"project", "  "}}}));
}

struct WatchCase {
    const char* what;
    bool snapshotBefore;
    int changeAtPause;        // 0: nothing changes
    bool sameUpdatedAt;       // the application rewrites without a new updatedAt
    int expectedPauses;
    int expectedReloads;
    friend void PrintTo(const WatchCase& c, std::ostream* out) { *out << c.what; }
};

class ReactionWatch : public ::testing::TestWithParam<WatchCase> {};

TEST_P(ReactionWatch, EndsAtTheFirstChangeOrReloadsOnce) {
    const auto& c = GetParam();
    TestContainer container;
    if (c.snapshotBefore) container.writeState(minimalSnapshot().dump());
    container.onPause([&](int pause) {
        if (pause != c.changeAtPause) return;
        json doc = minimalSnapshot();
        if (!c.sameUpdatedAt) doc["updatedAt"] = 1796760000001.5;
        doc["loggedIn"] = false;
        container.writeState(doc.dump());
    });
    WidgetStore::send(start(container.now()));
    EXPECT_EQ(container.pauses(), c.expectedPauses);
    EXPECT_EQ(container.reloads(), c.expectedReloads);
    EXPECT_EQ(container.commandFiles().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Watch, ReactionWatch,
    ::testing::Values(WatchCase{"nothing before, nothing after", false, 0, false, 20, 1},
                      WatchCase{"nothing before, a snapshot appears", false, 3, false, 3, 0},
                      WatchCase{"updatedAt changes", true, 5, false, 5, 0},
                      WatchCase{"rewritten with the same updatedAt", true, 2, true, 20, 1},
                      WatchCase{"change at the last check", true, 20, false, 20, 0}));

TEST(CommandDelivery, SnapshotThatBreaksDuringTheWatchCountsAsAReaction) {
    TestContainer container;
    container.writeState(minimalSnapshot().dump());
    container.onPause([&](int pause) {
        if (pause == 4) container.writeState("{\"updatedAt\":");
    });
    WidgetStore::send(start(container.now()));
    EXPECT_EQ(container.pauses(), 4);
    EXPECT_EQ(container.reloads(), 0);
}

TEST(CommandDelivery, StopRequestSkipsPausesButStillChecksAndReloads) {
    TestContainer container;
    std::stop_source stop;
    stop.request_stop();
    WidgetStore::send(start(container.now()), stop.get_token());
    EXPECT_EQ(container.pauses(), 0);
    EXPECT_EQ(container.reloads(), 1);
    EXPECT_EQ(container.commandFiles().size(), 1u);
}

TEST(CommandDelivery, CreatesMissingDirectoriesButNeverWritesWhereItCannot) {
    TestContainer container;
    std::filesystem::create_directories(container.root() / "group.com.kelvo.desktop");
    WidgetStore::send(start(container.now()));
    EXPECT_EQ(container.commandFiles().size(), 1u);

    TestContainer blocked;
    std::filesystem::create_directories(blocked.hostDirectory());
    std::ofstream(blocked.hostDirectory() / "commands") << "a file where the directory belongs";
    WidgetStore::send(start(blocked.now()));
    EXPECT_EQ(blocked.reloads(), 0);
    EXPECT_EQ(blocked.pauses(), 0);
    EXPECT_EQ(std::filesystem::file_size(blocked.hostDirectory() / "commands"), 34u);
}

TEST(CommandDelivery, SimultaneousSendsGiveDistinctCompleteFiles) {
    TestContainer container;
    container.writeState(minimalSnapshot().dump());
    std::vector<std::jthread> senders;
    for (int i = 0; i < 100; ++i)
        senders.emplace_back([&, i] {
            WidgetStore::send({WidgetCommand::Action::startRecent, "Entry " + std::to_string(i), std::nullopt,
                               container.now()});
        });
    senders.clear();
    std::set<std::string> names;
    for (const auto& file : container.commandFiles()) {
        ASSERT_EQ(file.extension(), ".json");
        names.insert(readCommand(file)["name"]);
    }
    EXPECT_EQ(names.size(), 100u);
    EXPECT_EQ(container.reloads(), 100);
}

}  // namespace
}  // namespace kelvo
