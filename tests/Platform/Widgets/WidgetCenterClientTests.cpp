#include "Platform/Widgets/WidgetCenter.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include "tests/support/FakeHost.hpp"
#include "tests/support/PrivateBus.hpp"

namespace {

using namespace std::chrono_literals;
using platform::WidgetInfo;
namespace client = platform::WidgetCenterClient;

constexpr const char* appId = "com.example.clienttest";

// Widgets of this application's extensions, of a look-alike application and of a stranger.
constexpr const char* placedWidgets = R"({"widgets": [
  {"id": "a", "extension": "com.example.clienttest.widget", "kind": "TimerWidget", "family": "systemSmall"},
  {"id": "b", "extension": "com.example.clienttestx.widget", "kind": "TimerWidget", "family": "systemSmall"},
  {"id": "c", "extension": "com.example.clienttest.more", "kind": "OtherWidget", "family": "systemMedium"},
  {"id": "d", "extension": "org.stranger.widget", "kind": "TimerWidget", "family": "systemMedium"},
  {"id": "e", "extension": "com.example.clienttest.widget", "kind": "TimerWidget", "family": "systemMedium"}
]})";

platform::Services withBundleIdentifier(std::optional<std::string> id) {
    auto bundle = std::make_shared<platform::Bundle>();
    bundle->bundleIdentifier = std::move(id);
    platform::Services s;
    s.mainBundle = [bundle]() -> const platform::Bundle& { return *bundle; };
    return s;
}

std::optional<std::vector<WidgetInfo>> query() { return client::getCurrentConfigurations(20s); }

class WidgetCenterClient : public ::testing::Test {
protected:
    void SetUp() override { platform::test::PrivateBus::ofProcess(); }
    void TearDown() override {
        if (HasFailure() && host) std::cerr << "fake host log:\n" << host->log() << '\n';
    }
    void startHost(const std::string& description) { host = std::make_unique<platform::test::FakeHost>(description); }

    platform::ScopedServices services{withBundleIdentifier(appId)};
    std::unique_ptr<platform::test::FakeHost> host;
};

TEST_F(WidgetCenterClient, ListsThePlacedWidgetsOfTheApplicationsExtensions) {
    startHost(placedWidgets);
    auto widgets = query();
    ASSERT_TRUE(widgets);
    ASSERT_EQ(widgets->size(), 3u);
    EXPECT_EQ((*widgets)[0].kind, "TimerWidget");
    EXPECT_EQ((*widgets)[0].family, "systemSmall");
    EXPECT_EQ((*widgets)[1].kind, "OtherWidget");
    EXPECT_EQ((*widgets)[1].family, "systemMedium");
    EXPECT_EQ((*widgets)[2].kind, "TimerWidget");
    EXPECT_EQ((*widgets)[2].family, "systemMedium");
}

TEST_F(WidgetCenterClient, NothingPlacedIsAnEmptyListNotAFailure) {
    startHost(R"({"widgets": []})");
    auto widgets = query();
    ASSERT_TRUE(widgets);
    EXPECT_TRUE(widgets->empty());
}

TEST_F(WidgetCenterClient, AFailingOrMissingHostGivesNothingAndLeavesTheConnectionUsable) {
    startHost(R"({"mode": "fail"})");
    EXPECT_FALSE(query());
    client::reloadAllTimelines();
    host.reset();
    EXPECT_FALSE(query());
    client::reloadAllTimelines();

    startHost(placedWidgets);
    auto widgets = query();
    ASSERT_TRUE(widgets);
    EXPECT_EQ(widgets->size(), 3u);
}

TEST_F(WidgetCenterClient, ReloadSendsExactlyOneRequestNamingTheApplication) {
    startHost(placedWidgets);
    client::reloadAllTimelines();
    EXPECT_EQ(host->waitForReloads(1, 5s), std::vector<std::string>{appId});
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(host->reloadRequests().size(), 1u);
}

TEST_F(WidgetCenterClient, ReloadDoesNotWaitForAHostThatNeverAnswers) {
    // A host that holds its answers: the reload returns before the host has answered, and the
    // request still arrives.
    startHost(R"({"mode": "delay", "delayMs": 10000})");
    client::reloadAllTimelines();
    EXPECT_EQ(host->lateAnswers(), 0u);
    EXPECT_EQ(host->waitForReloads(1, 5s).size(), 1u);
}

class WidgetCenterClientIdentity : public WidgetCenterClient,
                                   public ::testing::WithParamInterface<std::optional<std::string>> {};

TEST_P(WidgetCenterClientIdentity, AnApplicationWithoutAUsableIdentifierAsksNothing) {
    platform::ScopedServices unnamed{withBundleIdentifier(GetParam())};
    startHost(placedWidgets);
    EXPECT_FALSE(query());
    client::reloadAllTimelines();
    // A round trip of our own after the reload: anything the client sent has arrived by then.
    (void)host->reloadRequests();
    EXPECT_EQ(host->queryCount(), 0u);
    EXPECT_TRUE(host->reloadRequests().empty());
}

INSTANTIATE_TEST_SUITE_P(Identifiers, WidgetCenterClientIdentity,
                         ::testing::Values(std::nullopt, std::string(""), std::string("com..example"),
                                           std::string("com.example.app."), std::string("with space"),
                                           std::string("com.\xff.app")));

TEST_F(WidgetCenterClient, AnswersAgainAfterTheBusDaemonRestarted) {
    startHost(placedWidgets);
    std::vector<std::thread> queries;
    for (int i = 0; i < 4; ++i) queries.emplace_back([] { EXPECT_TRUE(query()); });
    for (auto& q : queries) q.join();
    host.reset();
    platform::test::PrivateBus::ofProcess().restart();
    startHost(placedWidgets);

    for (int i = 0; i < 4; ++i) {
        auto widgets = query();
        ASSERT_TRUE(widgets) << "query " << i;
        EXPECT_EQ(widgets->size(), 3u);
    }
    client::reloadAllTimelines();
    EXPECT_EQ(host->waitForReloads(1, 5s), std::vector<std::string>{appId});
}

TEST_F(WidgetCenterClient, NoSessionBusGivesNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kelvo-test-bus", 1);
            unsetenv("XDG_RUNTIME_DIR");
            client::reloadAllTimelines();
            std::exit(query() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
