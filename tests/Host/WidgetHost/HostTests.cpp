#include "Host/WidgetHost/Host.hpp"

#include <signal.h>
#include <systemd/sd-event.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

#include <gtest/gtest.h>

#include "ChildSignals.hpp"
#include "FakeTimers.hpp"
#include "TempDirectory.hpp"

namespace widgethost {
namespace {

using namespace std::chrono_literals;

constexpr const char* extensionId = "net.example.fake.widget";

// A real host on a fake clock: the extension is tests/e2e/fake_extension.py in a real process on a
// real loop, while request time-outs, back-off and the clock move only when a test advances them.
class HostTest : public testing::Test {
protected:
    void SetUp() override {
        prepareForChildren();
        ASSERT_GE(sd_event_new(&loop_), 0);
        const char* source = std::getenv("KELVO_SOURCE_DIR");
        ASSERT_TRUE(source) << "KELVO_SOURCE_DIR names the source tree";
        auto fake = std::filesystem::path(source) / "tests/e2e/fake_extension.py";
        dir_.write("extensions/Fake", "#!/bin/sh\nexec python3 " + fake.string() + "\n", true);
        dir_.write("extensions/Fake.bundle.json", std::string(R"({"bundleIdentifier": ")") + extensionId +
                                                      R"(", "extension": {"point": "widget", "executable": "Fake"}})");
        setting("mode", "normal");
        setting("families", "systemSmall,systemMedium");
        setenv("FAKE_EXTENSION_DIR", (dir_.path() / "state").c_str(), 1);
        startHost();
    }

    // A host of its own, which asks the extension to describe itself anew.
    void startHost() {
        host_.reset();
        HostOptions options;
        options.extensionDirectories = {dir_.path() / "extensions"};
        options.placedWidgetsFile = dir_.path() / "config/widgets.json";
        // Longer than any wait below, so that only the fake clock can make a request time out; shorter
        // than the 30 s after which a failed extension's back-off starts over.
        options.requestTimeout = 25s;
        // The extension dates its entries by the real clock; the fake one runs an hour ahead so that
        // they are due at once.
        auto timers = std::make_unique<FakeTimers>(platform::Date::fromSeconds(double(std::time(nullptr)) + 3600));
        timers_ = timers.get();
        host_ = std::make_unique<Host>(loop_, options, std::move(timers));
        WidgetScreen screen;
        screen.show = [](const PlacedWidget&, const std::string&, const platform::views::WidgetView*,
                         const platform::views::WidgetLayoutInfo*) {};
        screen.remove = [](const std::string&) {};
        screen.move = [this](const std::string&, WidgetPosition position) {
            windowAt_ = position;
            return position;
        };
        screen.outputUnderPointer = [this] { return output_; };
        screen.primaryOutput = [this] { return output_; };
        screen.setAppearance = [](platform::views::Appearance) {};
        screen.picture = [](const std::string&) { return std::string(); };
        host_->setScreen(std::move(screen));
        host_->start();
    }

    void TearDown() override {
        host_.reset();
        sd_event_unref(loop_);
    }

    void setting(const std::string& name, const std::string& value) { dir_.write("state/" + name, value); }

    // Runs the loop until `done`; the deadline only keeps a broken host from hanging the test.
    bool runUntil(const std::function<bool()>& done) {
        auto deadline = std::chrono::steady_clock::now() + 15s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            sd_event_run(loop_, 10'000);
        }
        return true;
    }

    std::string placeOne() {
        std::string id;
        host_->place("Counter", platform::WidgetFamily::systemSmall, WidgetPosition{10, 20},
                     [&](HostResult<std::string> placed) { id = placed ? *placed : "failed: " + placed.error().message; });
        EXPECT_TRUE(runUntil([&] { return !id.empty(); }));
        return id;
    }

    WidgetDetails only() const {
        auto widgets = host_->list();
        EXPECT_EQ(widgets.size(), 1u);
        return widgets.empty() ? WidgetDetails{} : widgets.front();
    }

    bool shows(const std::string& text) const {
        auto texts = only().texts;
        return std::any_of(texts.begin(), texts.end(), [&](const auto& t) { return t.find(text) == 0; });
    }

    std::size_t requestsFor(const std::string& method) const {
        std::ifstream in(dir_.path() / "state/requests");
        std::size_t count = 0;
        for (std::string line; std::getline(in, line);) count += line.find(" " + method + " ") != std::string::npos;
        return count;
    }

    TempDirectory dir_;
    sd_event* loop_ = nullptr;
    FakeTimers* timers_ = nullptr;
    std::unique_ptr<Host> host_;
    std::optional<WidgetPosition> windowAt_;
    std::optional<ScreenOutput> output_;  // the desktop's one output; none: headless
};

// An extension that stops answering is killed when its request times out and started again after
// a growing delay; the widget keeps its last good entries meanwhile, and shows the new ones after.
TEST_F(HostTest, ARequestThatTimesOutRestartsTheExtensionWithBackOffAndKeepsTheLastEntries) {
    auto id = placeOne();
    ASSERT_TRUE(runUntil([&] { return shows("first"); }));
    setting("mode", "hang");
    setting("stamp", "second");
    // The first silent request is a reload; each one after it is what the restarted extension is asked.
    auto expected = requestsFor("getTimeline");
    host_->reloadAll();
    for (double delay : {500.0, 1000.0, 2000.0}) {
        ++expected;
        ASSERT_TRUE(runUntil([&] { return requestsFor("getTimeline") >= expected; })) << delay;
        timers_->advance(24'999);
        EXPECT_EQ(only().status, "ready") << delay;
        timers_->advance(1);
        ASSERT_TRUE(runUntil([&] { return only().status == "restarting"; })) << delay;
        EXPECT_TRUE(shows("first")) << delay;
        if (delay == 2000) setting("mode", "normal");  // the next start answers again
        timers_->advance(delay - 1);
        EXPECT_EQ(only().status, "restarting") << delay;
        timers_->advance(1);
        ASSERT_TRUE(runUntil([&] { return only().status == "ready"; })) << delay;
    }
    ASSERT_TRUE(runUntil([&] { return shows("second"); }));
}

// A change the file cannot take is not taken: the host keeps what the file says, the caller gets
// the error, and a window moved on request goes back.
TEST_F(HostTest, AChangeThatCannotBeWrittenLeavesTheWidgetsAsTheyWere) {
    struct Case {
        const char* name;
        std::function<bool(Host&, const std::string& id)> change;  // false when it failed
    };
    const Case cases[] = {
        {"move on request", [](Host& host, const std::string& id) {
             return bool(host.move(id, {300, 400}, MoveOrigin::request));
         }},
        {"move by the user", [](Host& host, const std::string& id) {
             return bool(host.move(id, {300, 400}, MoveOrigin::user));
         }},
        {"remove", [](Host& host, const std::string& id) { return bool(host.remove(id)); }},
        {"resize", [](Host& host, const std::string& id) {
             return bool(host.resize(id, platform::WidgetFamily::systemMedium));
         }},
        {"put back", [](Host& host, const std::string&) {
             return bool(host.restore({"7", "Counter", platform::WidgetFamily::systemSmall, extensionId, WidgetPosition{1, 2}}));
         }},
        {"place", [this](Host& host, const std::string&) {
             bool placed = true, answered = false;
             host.place("Counter", platform::WidgetFamily::systemSmall, std::nullopt, [&](HostResult<std::string> r) {
                 placed = bool(r);
                 answered = true;
             });
             return runUntil([&] { return answered; }) && placed;
         }},
    };
    auto file = dir_.path() / "config/widgets.json";
    auto id = placeOne();
    auto before = host_->list();
    ASSERT_EQ(before.size(), 1u);
    for (const auto& c : cases) {
        // A directory where the file goes: even root cannot rename a file over it.
        std::filesystem::rename(file, dir_.path() / "kept.json");
        std::filesystem::create_directories(file / "blocker");
        windowAt_.reset();
        EXPECT_FALSE(c.change(*host_, id)) << c.name;
        auto after = host_->list();
        ASSERT_EQ(after.size(), 1u) << c.name;
        EXPECT_EQ(after[0].placed, before[0].placed) << c.name;
        if (windowAt_) {
            EXPECT_EQ(*windowAt_, *before[0].placed.position) << c.name;
        }
        std::filesystem::remove_all(file);
        std::filesystem::rename(dir_.path() / "kept.json", file);
    }
    // Once the file can be written again, the change is kept.
    ASSERT_TRUE(host_->move(id, {300, 400}, MoveOrigin::request));
    EXPECT_EQ(only().placed.position, (WidgetPosition{300, 400}));
}

// Where the user put a widget is kept; where the screen shows it for a while (the window manager's
// doing, or kept on a smaller screen) never reaches the file.
TEST_F(HostTest, OnlyTheUsersMovesAreKept) {
    struct Case {
        MoveOrigin origin;
        bool kept;
    };
    const Case cases[] = {
        {MoveOrigin::windowManager, false},
        {MoveOrigin::keptOnScreen, false},
        {MoveOrigin::user, true},
        {MoveOrigin::request, true},
    };
    auto id = placeOne();
    WidgetPosition before{10, 20};
    int step = 0;
    for (const auto& c : cases) {
        WidgetPosition asked{555 + step, 134 + step++};
        ASSERT_TRUE(host_->move(id, asked, c.origin)) << int(c.origin);
        auto file = loadPlacedWidgets(dir_.path() / "config/widgets.json");
        ASSERT_EQ(file.widgets.size(), 1u);
        EXPECT_EQ(file.widgets[0].position, c.kept ? asked : before) << int(c.origin);
        if (c.kept) before = asked;
    }
}

// A new widget goes where the user sees it: in what the panels leave free, and not under the
// gallery's window when it comes from there.
TEST_F(HostTest, ANewWidgetLandsInTheWorkAreaClearOfTheGallery) {
    // A 1280 x 800 output right of another, under a 32-pixel top panel.
    output_ = ScreenOutput{{1920, 0, 1280, 800}, {1920, 32, 1280, 768}, "HDMI-1", false};
    struct Case {
        const char* name;
        bool nearPointer;
        std::optional<DesktopArea> gallery;
        WidgetPosition expected;
    };
    const Case cases[] = {
        {"placed without a position", false, std::nullopt, {24, 56, "HDMI-1"}},
        {"from the gallery at the top left", true, DesktopArea{1920, 32, 600, 700}, {624, 56, "HDMI-1"}},
        {"from a gallery that cannot tell where it is", true, std::nullopt, {24, 56, "HDMI-1"}},
        {"beside a gallery that leaves no room", true, DesktopArea{1920, 32, 1100, 700}, {1086, 606, "HDMI-1"}},
    };
    for (const auto& c : cases) {
        std::string id;
        auto done = [&](HostResult<std::string> placed) { id = placed ? *placed : "failed"; };
        if (c.nearPointer)
            host_->placeNearPointer("Counter", platform::WidgetFamily::systemSmall, done, c.gallery);
        else
            host_->place("Counter", platform::WidgetFamily::systemSmall, std::nullopt, done);
        ASSERT_TRUE(runUntil([&] { return !id.empty(); })) << c.name;
        auto placed = host_->details(id);
        ASSERT_TRUE(placed) << c.name << ": " << id;
        EXPECT_EQ(placed->placed.position, c.expected) << c.name;
        ASSERT_TRUE(host_->remove(id)) << c.name;
    }
}

// A resize changes the family in place: the same id and saved position, the new family in the file,
// and a timeline asked for in that family. A family the kind lacks is refused and changes nothing.
TEST_F(HostTest, AResizeKeepsTheIdAndThePlaceAndRefusesAFamilyTheKindLacks) {
    using platform::WidgetFamily;
    struct Case {
        const char* declared;
        WidgetFamily expected;  // after asking for medium
    };
    const Case cases[] = {{"systemSmall,systemMedium", WidgetFamily::systemMedium},
                          {"systemSmall", WidgetFamily::systemSmall}};
    for (const auto& c : cases) {
        setting("families", c.declared);
        setting("stamp", "first");
        startHost();
        auto id = placeOne();
        ASSERT_TRUE(runUntil([&] { return host_->details(id)->texts.size() > 0; })) << c.declared;
        setting("stamp", "resized");
        auto asked = requestsFor("getTimeline");
        EXPECT_EQ(bool(host_->resize(id, WidgetFamily::systemMedium)), c.expected == WidgetFamily::systemMedium)
            << c.declared;
        auto after = host_->details(id);
        ASSERT_TRUE(after) << c.declared;
        EXPECT_EQ(after->placed.family, c.expected) << c.declared;
        EXPECT_EQ(after->placed.position, (WidgetPosition{10, 20})) << c.declared;
        if (c.expected == WidgetFamily::systemMedium) {
            EXPECT_TRUE(runUntil([&] {
                auto texts = host_->details(id)->texts;
                return !texts.empty() && texts.front().find("resized") == 0;
            })) << c.declared;
        } else {
            EXPECT_EQ(requestsFor("getTimeline"), asked) << c.declared;
        }
        ASSERT_TRUE(host_->remove(id)) << c.declared;
    }
}

// A removed widget put back is the same widget: id, kind, family (as resized) and place, all kept in
// the file.
TEST_F(HostTest, AWidgetPutBackAfterItsRemovalIsTheSameWidget) {
    auto id = placeOne();
    ASSERT_TRUE(host_->resize(id, platform::WidgetFamily::systemMedium));
    auto kept = host_->details(id)->placed;
    auto removed = host_->remove(id);
    ASSERT_TRUE(removed);
    EXPECT_TRUE(host_->list().empty());
    auto back = host_->restore(*removed);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, id);
    startHost();
    ASSERT_TRUE(host_->details(id));
    EXPECT_EQ(host_->details(id)->placed, kept);
}

}  // namespace
}  // namespace widgethost
