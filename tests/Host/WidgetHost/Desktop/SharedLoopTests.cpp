#include "Host/WidgetHost/Desktop/SharedLoop.hpp"

#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

namespace {

using widgethost::desktop::runSharedLoop;

struct Loop {
    sd_event* event = nullptr;
    Loop() { sd_event_new(&event); }
    ~Loop() { sd_event_unref(event); }
};

std::uint64_t inMs(sd_event* event, int ms) {
    std::uint64_t now = 0;
    sd_event_now(event, CLOCK_MONOTONIC, &now);
    return now + static_cast<std::uint64_t>(ms) * 1000;
}

// A safety net: a test that hangs fails instead.
guint failAfter(int ms, sd_event* event) {
    return g_timeout_add(ms, [](gpointer e) -> gboolean {
        ADD_FAILURE() << "the loop did not finish in time";
        sd_event_exit(static_cast<sd_event*>(e), 99);
        return G_SOURCE_REMOVE;
    }, event);
}

TEST(SharedLoop, EndsWithTheExitCodeGivenToSdEvent) {
    Loop loop;
    sd_event_add_time(loop.event, nullptr, CLOCK_MONOTONIC, inMs(loop.event, 10), 0,
                      [](sd_event_source* s, uint64_t, void*) { return sd_event_exit(sd_event_source_get_event(s), 7); },
                      nullptr);
    guint guard = failAfter(5000, loop.event);
    EXPECT_EQ(runSharedLoop(loop.event), 7);
    g_source_remove(guard);
}

TEST(SharedLoop, TimersAddedFromCallbacksAreArmedAndFire) {
    // sd-event arms a timer only while preparing; a timer added during a dispatch must still fire
    // although nothing else wakes the loop.
    struct Chain {
        int fired = 0;
        static int next(sd_event_source* source, uint64_t, void* data) {
            auto* chain = static_cast<Chain*>(data);
            sd_event* event = sd_event_source_get_event(source);
            if (++chain->fired == 3) return sd_event_exit(event, 0);
            return sd_event_add_time(event, nullptr, CLOCK_MONOTONIC, inMs(event, 20), 0, next, data);
        }
    } chain;
    Loop loop;
    sd_event_add_time(loop.event, nullptr, CLOCK_MONOTONIC, inMs(loop.event, 20), 0, Chain::next, &chain);
    guint guard = failAfter(5000, loop.event);
    EXPECT_EQ(runSharedLoop(loop.event), 0);
    g_source_remove(guard);
    EXPECT_EQ(chain.fired, 3);
}

TEST(SharedLoop, GLibAndSdEventSourcesServeEachOther) {
    // A GLib timeout writes to a pipe that an sd-event source reads: both halves run in one loop.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    Loop loop;
    std::vector<char> received;
    sd_event_add_io(loop.event, nullptr, fds[0], EPOLLIN,
                    [](sd_event_source* s, int fd, uint32_t, void* data) {
                        char c = 0;
                        if (read(fd, &c, 1) == 1) static_cast<std::vector<char>*>(data)->push_back(c);
                        return sd_event_exit(sd_event_source_get_event(s), 0);
                    },
                    &received);
    g_timeout_add(20, [](gpointer fd) -> gboolean {
        EXPECT_EQ(write(GPOINTER_TO_INT(fd), "x", 1), 1);
        return G_SOURCE_REMOVE;
    }, GINT_TO_POINTER(fds[1]));
    guint guard = failAfter(5000, loop.event);
    EXPECT_EQ(runSharedLoop(loop.event), 0);
    g_source_remove(guard);
    EXPECT_EQ(received, std::vector<char>{'x'});
    close(fds[0]);
    close(fds[1]);
}

TEST(SharedLoop, CanRunAgainAfterItEnded) {
    // The loop's GLib source goes with it, so a later run on a new sd-event starts clean.
    for (int round = 0; round < 2; ++round) {
        Loop loop;
        sd_event_add_defer(loop.event, nullptr,
                           [](sd_event_source* s, void*) { return sd_event_exit(sd_event_source_get_event(s), 3); },
                           nullptr);
        guint guard = failAfter(5000, loop.event);
        EXPECT_EQ(runSharedLoop(loop.event), 3);
        g_source_remove(guard);
    }
}

}  // namespace
