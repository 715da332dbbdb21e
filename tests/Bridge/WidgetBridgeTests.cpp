// The bridge as a host application sees it: through its C header and shared library only, with the
// manifest WidgetBridgeTests.bundle.json beside the test program naming it and its groups.
#include "kelvo_widget_bridge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/Bridge/SilentBus.hpp"
#include "tests/support/FakeHost.hpp"
#include "tests/support/PrivateBus.hpp"

namespace {

using namespace std::chrono_literals;

constexpr const char* twoTimersAndAnother = R"({"widgets": [
  {"id": "1", "extension": "com.example.bridgetest.widget", "kind": "TimerWidget", "family": "systemSmall"},
  {"id": "2", "extension": "com.example.bridgetest.widget", "kind": "OtherWidget", "family": "systemSmall"},
  {"id": "3", "extension": "com.example.bridgetest.widget", "kind": "TimerWidget", "family": "systemMedium"},
  {"id": "4", "extension": "org.stranger.widget", "kind": "TimerWidget", "family": "systemMedium"}
]})";

class WidgetBridge : public ::testing::Test {
protected:
    void SetUp() override { platform::test::PrivateBus::ofProcess(); }
    void TearDown() override {
        if (HasFailure() && host) std::cerr << "fake host log:\n" << host->log() << '\n';
    }
    void startHost(const std::string& description) { host = std::make_unique<platform::test::FakeHost>(description); }

    std::unique_ptr<platform::test::FakeHost> host;
};

TEST_F(WidgetBridge, CountsPlacedWidgetsOfExactlyTheKind) {
    startHost(twoTimersAndAnother);
    struct Case {
        const char* kind;
        std::int32_t count;
    };
    for (auto [kind, count] : {Case{"TimerWidget", 2}, Case{"OtherWidget", 1}, Case{"timerwidget", 0},
                               Case{"TimerWidget ", 0}, Case{"", 0}}) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(kelvo_widget_placed_count(kind, 5000), count);
    }
}

TEST_F(WidgetBridge, NothingPlacedCountsZero) {
    startHost(R"({"widgets": []})");
    EXPECT_EQ(kelvo_widget_placed_count("TimerWidget", 5000), 0);
}

TEST_F(WidgetBridge, NoAnswerCountsMinusOne) {
    startHost(R"({"mode": "fail"})");
    EXPECT_EQ(kelvo_widget_placed_count("TimerWidget", 5000), -1);
    host.reset();
    EXPECT_EQ(kelvo_widget_placed_count("TimerWidget", 5000), -1);
    EXPECT_EQ(kelvo_widget_placed_count(nullptr, 5000), -1);
}

TEST_F(WidgetBridge, ALateAnswerIsDiscardedAndBreaksNothing) {
    startHost(R"({"mode": "delay", "delayMs": 1000, "widgets": [
      {"id": "1", "extension": "com.example.bridgetest.widget", "kind": "TimerWidget", "family": "systemSmall"}]})");
    // The host would answer 1: -1 means the call gave up rather than waiting for it.
    EXPECT_EQ(kelvo_widget_placed_count("TimerWidget", 50), -1);

    // Let the late answer arrive and land in the abandoned holder, then ask again and wait long
    // enough: the second call gets its own answer.
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(kelvo_widget_placed_count("TimerWidget", 5000), 1);
}

TEST_F(WidgetBridge, ManyCallersGivingUpAtOnceBreakNothing) {
    startHost(R"({"mode": "delay", "delayMs": 100, "widgets": [
      {"id": "1", "extension": "com.example.bridgetest.widget", "kind": "TimerWidget", "family": "systemSmall"}]})");
    std::vector<std::thread> callers;
    std::vector<std::int32_t> results(16, 7);
    for (std::size_t i = 0; i < results.size(); ++i)
        callers.emplace_back([&results, i] {
            // Half give up before the answer, half wait for it.
            results[i] = kelvo_widget_placed_count("TimerWidget", i % 2 ? 10 : 5000);
        });
    for (auto& caller : callers) caller.join();
    for (std::size_t i = 0; i < results.size(); ++i) EXPECT_EQ(results[i], i % 2 ? -1 : 1) << "caller " << i;
    std::this_thread::sleep_for(300ms);
}

std::size_t entriesIn(const char* directory) {
    auto entries = std::filesystem::directory_iterator(directory);
    return static_cast<std::size_t>(std::distance(entries, std::filesystem::directory_iterator()));
}

TEST_F(WidgetBridge, TimedOutCallsLeaveNoThreadOrDescriptorBehind) {
    startHost(R"({"mode": "delay", "delayMs": 500, "widgets": []})");
    auto threads = entriesIn("/proc/self/task");
    auto descriptors = entriesIn("/proc/self/fd");
    for (int i = 0; i < 50; ++i) EXPECT_EQ(kelvo_widget_placed_count("TimerWidget", 1), -1);
    EXPECT_EQ(entriesIn("/proc/self/task"), threads);
    EXPECT_EQ(entriesIn("/proc/self/fd"), descriptors);
}

// A bus that accepts the connection and never answers, not even the greeting: every call comes
// back, long before the generous deadline the test waits for it, and leaves nothing behind.
TEST_F(WidgetBridge, CallsComeBackFromABusThatNeverAnswers) {
    kelvo::test::SilentBus bus;
    auto returns = [](auto call) {
        auto done = std::async(std::launch::async, call);
        return done.wait_for(5s) == std::future_status::ready;
    };
    // A first thread of the test's own, so that whatever the runtime starts beside it (the thread
    // sanitizer's helper) is counted before the calls, not against them.
    EXPECT_TRUE(returns([] {}));
    auto threads = entriesIn("/proc/self/task");
    auto descriptors = entriesIn("/proc/self/fd");
    EXPECT_TRUE(returns([] { EXPECT_EQ(kelvo_widget_placed_count("TimerWidget", 200), -1); }));
    EXPECT_TRUE(returns([] { kelvo_widget_reload_all_timelines(); }));
    EXPECT_EQ(entriesIn("/proc/self/task"), threads);
    EXPECT_EQ(entriesIn("/proc/self/fd"), descriptors);
}

TEST_F(WidgetBridge, ATimeoutOfZeroOrLessNeitherWaitsNorAsks) {
    startHost(twoTimersAndAnother);
    for (std::int32_t timeout : {0, -1, INT32_MIN}) {
        SCOPED_TRACE(timeout);
        EXPECT_EQ(kelvo_widget_placed_count("TimerWidget", timeout), -1);
    }
    EXPECT_EQ(host->queryCount(), 0u);
}

TEST_F(WidgetBridge, ReloadAsksTheHostOnceForThisApplication) {
    startHost(twoTimersAndAnother);
    kelvo_widget_reload_all_timelines();
    EXPECT_EQ(host->waitForReloads(1, 5s), std::vector<std::string>{"com.example.bridgetest"});
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(host->reloadRequests().size(), 1u);
}

TEST_F(WidgetBridge, ReloadWithoutAHostIsHarmless) {
    kelvo_widget_reload_all_timelines();
    startHost(twoTimersAndAnother);
    EXPECT_EQ(kelvo_widget_placed_count("TimerWidget", 5000), 2);
}

class WidgetBridgeContainer : public ::testing::Test {
protected:
    void SetUp() override {
        dataHome = (std::filesystem::temp_directory_path() / "kelvo-bridge-data").string();
        setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    }
    std::string dataHome;
};

std::string takeString(char* s) {
    std::string copy = s ? s : "<NULL>";
    kelvo_widget_free_string(s);
    return copy;
}

TEST_F(WidgetBridgeContainer, GrantedGroupsHaveAnAbsolutePathWithoutTrailingSlash) {
    EXPECT_EQ(takeString(kelvo_widget_container_path("group.com.example.bridgetest")),
              dataHome + "/group-containers/group.com.example.bridgetest");
    EXPECT_EQ(takeString(kelvo_widget_container_path("group.com.example.second")),
              dataHome + "/group-containers/group.com.example.second");

    setenv("XDG_DATA_HOME", (dataHome + "/.//").c_str(), 1);
    EXPECT_EQ(takeString(kelvo_widget_container_path("group.com.example.bridgetest")),
              dataHome + "/group-containers/group.com.example.bridgetest");
    // Through a link, ".." leads to the link target's parent: the path stays as the widget makes it.
    setenv("XDG_DATA_HOME", (dataHome + "/link/..").c_str(), 1);
    EXPECT_EQ(takeString(kelvo_widget_container_path("group.com.example.bridgetest")),
              dataHome + "/link/../group-containers/group.com.example.bridgetest");
}

TEST_F(WidgetBridgeContainer, OtherGroupsAndUnsafeNamesHaveNone) {
    for (const char* group : {"group.com.example.other", "GROUP.COM.EXAMPLE.BRIDGETEST", "", ".", "..",
                              "group.com.example.bridgetest/", "../group.com.example.bridgetest",
                              "group.com.example.bridgetest/.."}) {
        SCOPED_TRACE(group);
        EXPECT_EQ(kelvo_widget_container_path(group), nullptr);
    }
    EXPECT_EQ(kelvo_widget_container_path(nullptr), nullptr);
    kelvo_widget_free_string(nullptr);
}

}  // namespace
