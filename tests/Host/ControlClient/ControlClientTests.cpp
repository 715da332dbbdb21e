// The shared Control1 client against the fake widget host, which serves the same method table.
#include "Host/ControlClient/ControlClient.hpp"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <chrono>
#include <memory>

#include "Host/WidgetHost/dbus/Control1.hpp"
#include "tests/support/FakeHost.hpp"
#include "tests/support/PrivateBus.hpp"

namespace widgethost::control1 {
namespace {

using namespace std::chrono_literals;

constexpr const char* galleryHost = R"({
  "kinds": [{"extension": "com.example.app.widget", "kind": "TimerWidget", "displayName": "Timer",
             "description": "Time", "families": ["systemSmall", "systemMedium"]}],
  "preview": {"type": "text", "text": "Sample"}
})";

class ControlClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::test::PrivateBus::ofProcess();
        ASSERT_GE(sd_bus_open_user(&bus), 0);
        ASSERT_GE(sd_event_new(&loop), 0);
        ASSERT_GE(sd_bus_attach_event(bus, loop, 0), 0);
        client.emplace(bus);
    }
    void TearDown() override {
        if (HasFailure() && host) std::cerr << "fake host log:\n" << host->log() << '\n';
        client.reset();
        sd_bus_flush_close_unref(bus);
        sd_event_unref(loop);
    }
    // Turns the loop until `done` or a generous deadline.
    void runUntil(const bool& done) {
        auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!done && std::chrono::steady_clock::now() < deadline) sd_event_run(loop, 100'000);
    }

    sd_bus* bus = nullptr;
    sd_event* loop = nullptr;
    std::optional<ControlClient> client;
    std::unique_ptr<platform::test::FakeHost> host;
};

TEST_F(ControlClientTest, ReadsKindsAndPreviewEntriesAsTheHostSendsThem) {
    host = std::make_unique<platform::test::FakeHost>(galleryHost);
    auto kinds = client->kinds();
    ASSERT_TRUE(kinds) << kinds.error().message;
    ASSERT_EQ(kinds->size(), 1u);
    const auto& kind = kinds->front();
    EXPECT_EQ(kind.extension, "com.example.app.widget");
    EXPECT_EQ(kind.kind, "TimerWidget");
    EXPECT_EQ(kind.displayName, "Timer");
    EXPECT_EQ(kind.description, "Time");
    EXPECT_EQ(kind.families, (std::vector<std::string>{"systemSmall", "systemMedium"}));

    // The same through a call answered later, from the loop.
    bool answered = false;
    auto pending = client->previewEntry("TimerWidget", "systemSmall", [&](Result<PreviewEntry> entry) {
        answered = true;
        ASSERT_TRUE(entry) << entry.error().message;
        EXPECT_EQ(entry->view, R"({"text":"Sample","type":"text"})");
        EXPECT_EQ(entry->renderingMode, "fullColor");
    });
    runUntil(answered);
    EXPECT_TRUE(answered);
}

TEST_F(ControlClientTest, SaysWhichErrorTheHostAnsweredWith) {
    auto none = client->kinds();
    ASSERT_FALSE(none);
    EXPECT_TRUE(isNoHost(none.error())) << none.error().name;

    host = std::make_unique<platform::test::FakeHost>(R"({"kinds": []})");
    auto refused = client->previewEntry("TimerWidget", "systemSmall");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().name, error::failed);
    EXPECT_FALSE(isNoHost(refused.error()));
}

TEST_F(ControlClientTest, ADroppedCallNeverCallsBack) {
    host = std::make_unique<platform::test::FakeHost>(R"({"control": "silent"})");
    bool droppedCalled = false, keptCalled = false;
    auto dropped = client->kinds([&](Result<std::vector<Kind>>) { droppedCalled = true; });
    auto kept = client->kinds([&](Result<std::vector<Kind>> kinds) {
        keptCalled = true;
        EXPECT_FALSE(kinds);  // the host went away without answering
    });
    ASSERT_TRUE(dropped && kept);
    // Both go out as the loop turns; the host takes them and holds them.
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (host->callCount(method::kinds.name) < 2 && std::chrono::steady_clock::now() < deadline)
        sd_event_run(loop, 50'000);
    ASSERT_EQ(host->callCount(method::kinds.name), 2u);
    dropped.reset();
    // The bus answers both with an error once the host is gone; only the kept one hears it.
    host.reset();
    runUntil(keptCalled);
    EXPECT_TRUE(keptCalled);
    // A round trip after the host left: whatever the bus said about the dropped call came before.
    EXPECT_FALSE(client->kinds());
    while (sd_event_run(loop, 0) > 0) {
    }
    EXPECT_FALSE(droppedCalled);
}

}  // namespace
}  // namespace widgethost::control1
