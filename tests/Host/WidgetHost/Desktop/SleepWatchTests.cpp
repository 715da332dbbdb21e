#include "Host/WidgetHost/Desktop/SleepWatch.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/Host/WidgetHost/Desktop/BusFixture.hpp"

namespace {

using widgethost::desktop::SleepWatch;

// Points the system bus somewhere else for one test.
class SystemBusAddress {
public:
    explicit SystemBusAddress(const char* address) {
        if (const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) saved_ = old;
        setenv("DBUS_SYSTEM_BUS_ADDRESS", address, 1);
    }
    ~SystemBusAddress() {
        if (saved_)
            setenv("DBUS_SYSTEM_BUS_ADDRESS", saved_->c_str(), 1);
        else
            unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

private:
    std::optional<std::string> saved_;
};

TEST(SleepWatch, OnlyTheEndOfASleepCountsAsAResume) {
    struct Case {
        const char* name;
        std::function<void(sd_bus_message*)> append;
        int resumes;
    };
    const Case cases[] = {
        {"going to sleep", [](sd_bus_message* m) { sd_bus_message_append(m, "b", 1); }, 0},
        {"woken up", [](sd_bus_message* m) { sd_bus_message_append(m, "b", 0); }, 1},
        {"not a boolean", [](sd_bus_message* m) { sd_bus_message_append(m, "s", "false"); }, 0},
        {"no argument", [](sd_bus_message*) {}, 0},
    };
    MessageBus bus;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SleepWatch watch;
        int resumes = 0;
        sd_event* event = nullptr;
        sd_event_new(&event);
        {
            SystemBusAddress none("unix:path=/nonexistent/widget-host-test");
            EXPECT_FALSE(watch.start(event, [&] { ++resumes; }));
        }
        sd_bus_message* m = nullptr;
        ASSERT_GE(sd_bus_message_new_signal(bus.bus, &m, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                            "PrepareForSleep"),
                  0);
        c.append(m);
        ASSERT_GE(sd_bus_message_seal(m, 1, 0), 0);
        ASSERT_GE(sd_bus_message_rewind(m, 1), 0);
        SleepWatch::handlePrepareForSleep(m, &watch, nullptr);
        sd_bus_message_unref(m);
        EXPECT_EQ(resumes, c.resumes);
        sd_event_unref(event);
    }
}

TEST(SleepWatch, WithoutASystemBusItStaysQuiet) {
    SystemBusAddress none("unix:path=/nonexistent/widget-host-test");
    sd_event* event = nullptr;
    sd_event_new(&event);
    {
        SleepWatch watch;
        EXPECT_FALSE(watch.start(event, [] { ADD_FAILURE() << "no resume without a bus"; }));
        // The loop has nothing of the watch's left in it.
        EXPECT_EQ(sd_event_run(event, 0), 0);
    }
    sd_event_unref(event);
}

TEST(SleepWatch, HearsLogindOnTheBusAndNobodyElse) {
    BusPair buses;
    if (!buses.open()) GTEST_SKIP() << "no session bus";
    // The test's session bus stands in for the system bus.
    SystemBusAddress system(std::getenv("DBUS_SESSION_BUS_ADDRESS"));
    int resumes = 0;
    SleepWatch watch;
    ASSERT_TRUE(watch.start(buses.event, [&] { ++resumes; }));
    auto emit = [&](sd_bus* from, int sleeping) {
        sd_bus_emit_signal(from, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", "b",
                           sleeping);
    };

    // Someone who is not logind says the machine woke up: ignored.
    emit(buses.client, 0);
    buses.runFor(std::chrono::milliseconds(200));
    EXPECT_EQ(resumes, 0);

    ASSERT_GE(sd_bus_request_name(buses.service, "org.freedesktop.login1", 0), 0);
    buses.runFor(std::chrono::milliseconds(50));
    emit(buses.service, 1);
    emit(buses.service, 0);
    ASSERT_TRUE(buses.runUntil([&] { return resumes == 1; }));
    buses.runFor(std::chrono::milliseconds(100));
    EXPECT_EQ(resumes, 1);
}

}  // namespace
