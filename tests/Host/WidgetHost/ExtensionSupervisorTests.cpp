#include "Host/WidgetHost/ExtensionSupervisor.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <systemd/sd-event.h>

#include <gtest/gtest.h>

#include "ChildSignals.hpp"
#include "Platform/System/Files.hpp"
#include "FakeTimers.hpp"
#include "TempDirectory.hpp"

namespace widgethost {
namespace {

using namespace std::chrono_literals;

// An extension that crashes at once: the back-off runs on the fake clock, the process on a real loop.
TEST(ExtensionSupervisor, ACrashingExtensionStartsAgainAfterGrowingDelays) {
    prepareForChildren();
    sd_event* loop = nullptr;
    ASSERT_GE(sd_event_new(&loop), 0);
    TempDirectory dir;
    dir.write("Crash", "#!/bin/sh\nexit 1\n", true);
    dir.write("Crash.bundle.json",
              R"({"bundleIdentifier": "com.example.crash", "extension": {"point": "widget", "executable": "Crash"}})");

    FakeTimers timers(platform::Date::fromSeconds(1e9));
    int ended = 0;
    {
        const std::string id = "com.example.crash";
        ExtensionSupervisor supervisor(loop, timers, {{dir.path()}, {}, 1s},
                                       {[](const std::string&) { return true; }, [](const std::string&) {},
                                        [&](const std::string&) { ++ended; }});
        supervisor.rescan();
        ASSERT_TRUE(supervisor.manifest(id));
        supervisor.ensureRunning(id);
        auto runUntilEnded = [&](int count) {
            for (int i = 0; i < 500 && ended < count; ++i) sd_event_run(loop, 10'000);
            return ended == count;
        };
        for (auto [count, delayMs] : {std::pair{1, 500.0}, {2, 1000.0}, {3, 2000.0}}) {
            ASSERT_TRUE(runUntilEnded(count)) << count;
            EXPECT_EQ(supervisor.phase(id), ExtensionPhase::restarting);
            timers.advance(delayMs - 1);
            EXPECT_EQ(supervisor.phase(id), ExtensionPhase::restarting) << count;
            timers.advance(1);
            EXPECT_EQ(supervisor.phase(id), ExtensionPhase::describing) << count;
        }
        // After 30 s of running the count starts over: the next crash waits 500 ms again.
        timers.advance(30'000);
        ASSERT_TRUE(runUntilEnded(4));
        timers.advance(500);
        EXPECT_EQ(supervisor.phase(id), ExtensionPhase::describing);
        supervisor.shutDown();
    }
    sd_event_unref(loop);
}

// The directory watch follows a directory that is missing at the start or removed and made again,
// as dpkg does with an empty shared directory.
TEST(ExtensionSupervisor, FindsAnExtensionInstalledIntoADirectoryMadeAfterTheWatch) {
    enum class Start { present, parentOnly, grandparentOnly };
    for (auto start : {Start::present, Start::parentOnly, Start::grandparentOnly}) {
        SCOPED_TRACE(static_cast<int>(start));
        sd_event* loop = nullptr;
        ASSERT_GE(sd_event_new(&loop), 0);
        TempDirectory dir;
        auto watched = dir / "share/widget-extensions";
        if (start != Start::grandparentOnly) std::filesystem::create_directories(watched.parent_path());
        if (start == Start::present) std::filesystem::create_directories(watched);

        FakeTimers timers(platform::Date::fromSeconds(1e9));
        int changes = 0;
        ExtensionSupervisor supervisor(loop, timers, {{watched}, {}, 1s},
                                       {[](const std::string&) { return false; }, [](const std::string&) {},
                                        [](const std::string&) {}, [&] { ++changes; }});
        supervisor.watchDirectories();
        // Runs the loop and the settling delay until `done`, for two seconds at most.
        auto pumpUntil = [&](auto done) {
            for (int i = 0; i < 200 && !done(); ++i) {
                sd_event_run(loop, 10'000);
                timers.advance(300);
            }
            return done();
        };
        auto nextChange = [&] {
            int seen = changes;
            pumpUntil([&] { return changes > seen; });
        };
        if (start == Start::present) {
            std::filesystem::remove_all(watched);
            nextChange();
        }
        std::filesystem::create_directories(watched);
        nextChange();
        dir.write("share/widget-extensions/Count", "#!/bin/sh\n", true);
        dir.write("share/widget-extensions/Count.bundle.json",
                  R"({"bundleIdentifier": "com.example.count", "extension": {"point": "widget", "executable": "Count"}})");
        EXPECT_TRUE(pumpUntil([&] { return supervisor.manifest("com.example.count") != nullptr; }));
        supervisor.shutDown();
        sd_event_unref(loop);
    }
}

// Every request may rescan: a broken manifest is reported once, and again only when it changes.
TEST(ExtensionSupervisor, ReportsABrokenManifestOnceUntilItChanges) {
    TempDirectory dir;
    auto manifest = dir.write("Broken.bundle.json", R"({"bundleIdentifier": "com.example.broken", "extension": {"point": "widget"}})");
    FakeTimers timers(platform::Date::fromSeconds(1e9));
    ExtensionSupervisor supervisor(nullptr, timers, {{dir.path()}, {}, 1s},
                                   {[](const std::string&) { return false; }, [](const std::string&) {},
                                    [](const std::string&) {}});
    auto log = dir / "log";
    int saved = ::dup(STDERR_FILENO);
    int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ::dup2(fd, STDERR_FILENO);
    auto reports = [&] {
        auto text = platform::readRegularFile(log, 1 << 20).value_or("");
        size_t count = 0;
        for (size_t at = 0; (at = text.find("Broken.bundle.json", at)) != std::string::npos; ++at) ++count;
        return count;
    };
    const std::pair<const char*, size_t> steps[] = {
        {"", 1}, {"", 1}, {R"({"bundleIdentifier": "com.example.broken", "extension": {"point": "widget", "executable": ""}})", 2}, {"", 2},
    };
    std::vector<size_t> seen;
    for (const auto& [rewrite, expected] : steps) {
        if (*rewrite) dir.write("Broken.bundle.json", rewrite);
        supervisor.rescan();
        seen.push_back(reports());
    }
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(fd);
    for (size_t i = 0; i < std::size(steps); ++i) EXPECT_EQ(seen[i], steps[i].second) << "after rescan " << i + 1;
}

}  // namespace
}  // namespace widgethost
