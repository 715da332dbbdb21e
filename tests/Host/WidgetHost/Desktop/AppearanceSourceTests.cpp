#include "Host/WidgetHost/Desktop/AppearanceSource.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "tests/Host/WidgetHost/Desktop/BusFixture.hpp"

namespace {

using namespace widgethost::desktop;
using platform::views::Appearance;

TEST(AppearanceSource, PortalColourSchemeValues) {
    EXPECT_EQ(appearanceFromColorScheme(0), Appearance::light);  // no preference, GNOME's "Light"
    EXPECT_EQ(appearanceFromColorScheme(1), Appearance::dark);
    EXPECT_EQ(appearanceFromColorScheme(2), Appearance::light);
    EXPECT_EQ(appearanceFromColorScheme(3), std::nullopt);
    EXPECT_EQ(appearanceFromGSettings("prefer-dark"), Appearance::dark);
    EXPECT_EQ(appearanceFromGSettings("default"), Appearance::light);
    EXPECT_EQ(appearanceFromGSettings("prefer-light"), Appearance::light);
    EXPECT_EQ(appearanceFromGSettings(nullptr), Appearance::light);
}

TEST(AppearanceSource, ReadsTheAnswerFormsOfReadOneAndRead) {
    struct Case {
        const char* name;
        std::function<void(sd_bus_message*)> append;
        std::optional<std::uint32_t> expected;
    };
    const Case cases[] = {
        {"ReadOne: v(u)", [](sd_bus_message* m) { sd_bus_message_append(m, "v", "u", 1u); }, 1u},
        {"Read: v(v(u))",
         [](sd_bus_message* m) {
             sd_bus_message_open_container(m, 'v', "v");
             sd_bus_message_append(m, "v", "u", 2u);
             sd_bus_message_close_container(m);
         },
         2u},
        {"three variants deep",
         [](sd_bus_message* m) {
             sd_bus_message_open_container(m, 'v', "v");
             sd_bus_message_open_container(m, 'v', "v");
             sd_bus_message_append(m, "v", "u", 1u);
             sd_bus_message_close_container(m);
             sd_bus_message_close_container(m);
         },
         std::nullopt},
        {"a string", [](sd_bus_message* m) { sd_bus_message_append(m, "v", "s", "prefer-dark"); }, std::nullopt},
        {"a signed number", [](sd_bus_message* m) { sd_bus_message_append(m, "v", "i", 1); }, std::nullopt},
        {"no variant", [](sd_bus_message* m) { sd_bus_message_append(m, "u", 1u); }, std::nullopt},
        {"nothing", [](sd_bus_message*) {}, std::nullopt},
    };
    MessageBus bus;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sd_bus_message* m = nullptr;
        ASSERT_GE(sd_bus_message_new_method_call(bus.bus, &m, "a.b", "/a", "a.b", "X"), 0);
        c.append(m);
        ASSERT_GE(sd_bus_message_seal(m, 1, 0), 0);
        ASSERT_GE(sd_bus_message_rewind(m, 1), 0);
        EXPECT_EQ(readColorScheme(m), c.expected);
        sd_bus_message_unref(m);
    }
}

// The desktop portal's Settings interface as the test wants it: with or without ReadOne, and a
// colour scheme that can change.
struct FakePortal {
    std::uint32_t value = 0;
    int calls = 0;
    sd_bus_slot* object = nullptr;

    static int readOne(sd_bus_message* m, void* self, sd_bus_error*) {
        auto* portal = static_cast<FakePortal*>(self);
        ++portal->calls;
        return sd_bus_reply_method_return(m, "v", "u", portal->value);
    }
    static int read(sd_bus_message* m, void* self, sd_bus_error*) {
        auto* portal = static_cast<FakePortal*>(self);
        ++portal->calls;
        sd_bus_message* reply = nullptr;
        sd_bus_message_new_method_return(m, &reply);
        sd_bus_message_open_container(reply, 'v', "v");
        sd_bus_message_append(reply, "v", "u", portal->value);
        sd_bus_message_close_container(reply);
        int r = sd_bus_send(nullptr, reply, nullptr);
        sd_bus_message_unref(reply);
        return r;
    }

    bool serve(sd_bus* bus, bool withReadOne) {
        static const sd_bus_vtable both[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_METHOD("Read", "ss", "v", read, 0),
            SD_BUS_METHOD("ReadOne", "ss", "v", readOne, 0),
            SD_BUS_SIGNAL("SettingChanged", "ssv", 0),
            SD_BUS_VTABLE_END,
        };
        static const sd_bus_vtable readOnly[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_METHOD("Read", "ss", "v", read, 0),
            SD_BUS_SIGNAL("SettingChanged", "ssv", 0),
            SD_BUS_VTABLE_END,
        };
        if (sd_bus_add_object_vtable(bus, &object, "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Settings",
                                     withReadOne ? both : readOnly, this) < 0)
            return false;
        return sd_bus_request_name(bus, "org.freedesktop.portal.Desktop", 0) >= 0;
    }

    static void change(sd_bus* bus, const char* space, const char* key, std::uint32_t value) {
        sd_bus_emit_signal(bus, "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Settings", "SettingChanged",
                           "ssv", space, key, "u", value);
    }

    ~FakePortal() { sd_bus_slot_unref(object); }
};

class AppearanceSourceOnBus : public ::testing::Test {
protected:
    void SetUp() override {
        // Without dconf, GSettings would only echo its defaults; the tests pin that down.
        setenv("GSETTINGS_BACKEND", "memory", 1);
        if (!buses.open()) GTEST_SKIP() << "no session bus";
    }
    BusPair buses;
};

TEST_F(AppearanceSourceOnBus, FollowsThePortalWhicheverReadMethodItHas) {
    struct Case {
        const char* name;
        bool withReadOne;
        std::uint32_t value;
        Appearance fallback;
        Appearance expected;
    };
    const Case cases[] = {
        {"ReadOne, dark", true, 1, Appearance::light, Appearance::dark},
        {"Read only, dark", false, 1, Appearance::light, Appearance::dark},
        {"Read only, no preference is light", false, 0, Appearance::dark, Appearance::light},
        {"ReadOne, prefer light", true, 2, Appearance::dark, Appearance::light},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BusPair pair;
        ASSERT_TRUE(pair.open());
        FakePortal portal;
        portal.value = c.value;
        ASSERT_TRUE(portal.serve(pair.service, c.withReadOne));
        std::vector<Appearance> changes;
        AppearanceSource source(c.fallback, [&](Appearance a) { changes.push_back(a); });
        source.start(pair.client);
        EXPECT_EQ(source.current(), c.fallback);  // nothing blocks waiting for the portal
        ASSERT_TRUE(pair.runUntil([&] { return source.origin() == AppearanceOrigin::portal; }));
        EXPECT_EQ(source.current(), c.expected);
        EXPECT_EQ(changes, c.fallback == c.expected ? std::vector<Appearance>{} : std::vector{c.expected});
    }
}

TEST_F(AppearanceSourceOnBus, WithoutAPortalTheHostSettingHolds) {
    AppearanceSource source(Appearance::dark, [&](Appearance) { ADD_FAILURE() << "nothing should change"; });
    source.start(buses.client);
    // The bus answers ServiceUnknown at once; afterwards the fallback must still hold.
    buses.runFor(std::chrono::milliseconds(300));
    EXPECT_EQ(source.current(), Appearance::dark);
    EXPECT_EQ(source.origin(), AppearanceOrigin::fallback);
}

TEST_F(AppearanceSourceOnBus, SettingChangedRedrawsAtOnceAndOtherKeysAreIgnored) {
    FakePortal portal;
    ASSERT_TRUE(portal.serve(buses.service, true));
    std::vector<Appearance> changes;
    AppearanceSource source(Appearance::light, [&](Appearance a) { changes.push_back(a); });
    source.start(buses.client);
    ASSERT_TRUE(buses.runUntil([&] { return portal.calls == 1 && source.origin() == AppearanceOrigin::portal; }));

    FakePortal::change(buses.service, "org.freedesktop.appearance", "accent-color", 1);
    FakePortal::change(buses.service, "org.gnome.desktop.interface", "color-scheme", 1);
    FakePortal::change(buses.service, "org.freedesktop.appearance", "color-scheme", 1);
    ASSERT_TRUE(buses.runUntil([&] { return !changes.empty(); }));
    EXPECT_EQ(changes, std::vector{Appearance::dark});

    FakePortal::change(buses.service, "org.freedesktop.appearance", "color-scheme", 0);
    ASSERT_TRUE(buses.runUntil([&] { return changes.size() == 2; }));
    EXPECT_EQ(changes.back(), Appearance::light);
    EXPECT_EQ(source.current(), Appearance::light);
}

TEST(AppearanceSource, WithoutABusTheHostSettingHolds) {
    setenv("GSETTINGS_BACKEND", "memory", 1);
    AppearanceSource source(Appearance::dark, nullptr);
    source.start(nullptr);
    EXPECT_EQ(source.current(), Appearance::dark);
    EXPECT_EQ(source.origin(), AppearanceOrigin::fallback);
}

}  // namespace
