#include <gtest/gtest.h>

#include <systemd/sd-event.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>

#include "Host/WidgetHost/ClockChangeWatch.hpp"
#include "TempDirectory.hpp"

namespace widgethost {
namespace {

void write(const std::filesystem::path& path, const char* text) { std::ofstream(path) << text; }

TEST(ClockChangeWatch, AChangedZoneFileAsksAgainAndNothingElseDoes) {
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path& dir)> act;
        bool asks;
    };
    const Case cases[] = {
        {"a new link renamed into place",
         [](const auto& dir) {
             std::filesystem::create_symlink("/usr/share/zoneinfo/Asia/Tokyo", dir / "localtime.new");
             std::filesystem::rename(dir / "localtime.new", dir / "localtime");
         },
         true},
        {"the file written in place", [](const auto& dir) { write(dir / "localtime", "TZif"); }, true},
        {"the file removed", [](const auto& dir) { std::filesystem::remove(dir / "localtime"); }, true},
        {"another file beside it", [](const auto& dir) { write(dir / "adjtime", "0.0 0 0.0"); }, false},
    };
    for (const auto& c : cases) {
        TempDirectory dir;
        write(dir.path() / "localtime", "TZif");
        sd_event* loop = nullptr;
        ASSERT_GE(sd_event_new(&loop), 0);
        int asked = 0;
        {
            ClockChangeWatch watch;
            auto started = watch.start(loop, [&] { ++asked; }, dir.path() / "localtime");
            ASSERT_TRUE(started.clock && started.zone) << c.name;
            c.act(dir.path());
            // inotify queues the event during the call above, so one turn of the loop sees it.
            while (sd_event_run(loop, 0) > 0) {}
        }
        sd_event_unref(loop);
        EXPECT_EQ(asked > 0, c.asks) << c.name;
    }
}

// A zone that cannot be watched is reported with the errno of the call that failed, and the clock
// is watched all the same.
TEST(ClockChangeWatch, AZoneThatCannotBeWatchedIsReportedWithItsErrno) {
    sd_event* loop = nullptr;
    ASSERT_GE(sd_event_new(&loop), 0);
    {
        ClockChangeWatch watch;
        errno = EPERM;  // what a stale errno would have said
        auto started = watch.start(loop, [] {}, "/nonexistent-directory/localtime");
        EXPECT_TRUE(started.clock);
        ASSERT_FALSE(started.zone);
        EXPECT_EQ(started.zone.error().errnum, ENOENT);
        EXPECT_NE(started.zone.error().message.find("/nonexistent-directory"), std::string::npos);
    }
    sd_event_unref(loop);
}

}  // namespace
}  // namespace widgethost
