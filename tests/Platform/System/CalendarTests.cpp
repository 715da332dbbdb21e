#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "Platform/System/Calendar.hpp"
#include "Platform/System/ZoneRules.hpp"

namespace platform {
namespace {

// Seconds since 1970 for a UTC wall time.
double utc(int year, unsigned month, unsigned day, int hour = 0, int minute = 0) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = static_cast<int>(month) - 1;
    fields.tm_mday = static_cast<int>(day);
    fields.tm_hour = hour;
    fields.tm_min = minute;
    return static_cast<double>(timegm(&fields));
}

struct DayCase {
    const char* zone;
    double moment;       // some moment of the day
    double startOfDay;   // the day's first moment
    double nextMidnight; // the next day's first moment
};

// Days whose length or start is unusual, plus ordinary ones around them.
const DayCase dayCases[] = {
    {"Europe/Berlin", utc(2026, 12, 8, 14), utc(2026, 12, 7, 23), utc(2026, 12, 8, 23)},
    {"Europe/Berlin", utc(2026, 3, 29, 12), utc(2026, 3, 28, 23), utc(2026, 3, 29, 22)},   // 23 hours
    {"Europe/Berlin", utc(2026, 10, 25, 12), utc(2026, 10, 24, 22), utc(2026, 10, 25, 23)}, // 25 hours
    {"Europe/Berlin", utc(2026, 3, 28, 23), utc(2026, 3, 28, 23), utc(2026, 3, 29, 22)},   // exactly midnight
    {"America/Sao_Paulo", utc(2018, 11, 4, 15), utc(2018, 11, 4, 3), utc(2018, 11, 5, 2)}, // starts at 01:00
    {"America/Sao_Paulo", utc(2018, 11, 3, 15), utc(2018, 11, 3, 3), utc(2018, 11, 4, 3)},
    {"America/Havana", utc(2023, 11, 5, 12), utc(2023, 11, 5, 4), utc(2023, 11, 6, 5)},    // midnight twice
    {"America/Havana", utc(2023, 11, 5, 5, 30), utc(2023, 11, 5, 4), utc(2023, 11, 6, 5)}, // in the second 00:xx
    {"Pacific/Apia", utc(2011, 12, 29, 20), utc(2011, 12, 29, 10), utc(2011, 12, 30, 10)},  // next day is skipped
    {"Pacific/Apia", utc(2011, 12, 30, 12), utc(2011, 12, 30, 10), utc(2011, 12, 31, 10)},
    {"Asia/Kolkata", utc(2026, 12, 8, 20), utc(2026, 12, 8, 18, 30), utc(2026, 12, 9, 18, 30)},
    {"UTC", utc(2026, 12, 31, 23, 59), utc(2026, 12, 31), utc(2027, 1, 1)},                 // year carries
};

class ScopedTimeZoneVariable {
public:
    explicit ScopedTimeZoneVariable(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZoneVariable() {
        if (previous_)
            setenv("TZ", previous_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> previous_;
};

void expectDay(const Calendar& calendar, const DayCase& c) {
    Date moment = Date::fromSeconds(c.moment);
    Date start = calendar.startOfDay(moment);
    EXPECT_EQ(start.secondsSince1970(), c.startOfDay) << c.zone << " " << c.moment;
    auto dayLater = calendar.dateByAddingDays(1, start);
    ASSERT_TRUE(dayLater);
    auto next = std::optional(calendar.startOfDay(*dayLater));
    EXPECT_EQ(next->secondsSince1970(), c.nextMidnight) << c.zone << " " << c.moment;
    EXPECT_TRUE(calendar.isDate(moment, start));
    EXPECT_FALSE(calendar.isDate(start, start.addingSeconds(-1)));
    EXPECT_FALSE(calendar.isDate(moment, *next));
}

TEST(Calendar, NamedZoneDayBoundaries) {
    for (const auto& c : dayCases) {
        auto calendar = Calendar::named(c.zone);
        ASSERT_TRUE(calendar) << c.zone;
        expectDay(*calendar, c);
    }
}

// The system zone goes through the C library; it must agree with the zone database.
TEST(Calendar, SystemZoneFromTZDayBoundaries) {
    for (const auto& c : dayCases) {
        ScopedTimeZoneVariable tz(c.zone);
        expectDay(Calendar::system(), c);
    }
}

// A running process must follow the user's zone when it changes under it.
TEST(Calendar, SystemZoneFollowsAChange) {
    ScopedTimeZoneVariable tz("Europe/Berlin");
    Date moment = Date::fromSeconds(utc(2026, 12, 8, 14));
    EXPECT_EQ(Calendar::system().secondsFromGMT(moment), 3600);
    setenv("TZ", "Asia/Kolkata", 1);  // unannounced, as a replaced /etc/localtime would be
    EXPECT_EQ(Calendar::system().secondsFromGMT(moment), 19800);
}

TEST(Calendar, SameDayIgnoresTimeOfDay) {
    auto berlin = *Calendar::named("Europe/Berlin");
    Date dayStart = Date::fromSeconds(utc(2026, 12, 7, 23));
    EXPECT_TRUE(berlin.isDate(dayStart, Date::fromSeconds(utc(2026, 12, 8, 22, 59))));
    EXPECT_FALSE(berlin.isDate(dayStart, Date::fromSeconds(utc(2026, 12, 8, 23))));
    EXPECT_TRUE(berlin.isDate(Date::fromSeconds(utc(2026, 12, 8, 12, 45)), Date::fromSeconds(utc(2026, 12, 8, 7))));
}

TEST(Calendar, AddingADayKeepsTheLocalTimeOfDay) {
    auto saoPaulo = *Calendar::named("America/Sao_Paulo");
    // 2018-11-04 starts at 01:00; a day later at 01:00 is an hour after the next midnight.
    auto later = saoPaulo.dateByAddingDays(1, Date::fromSeconds(utc(2018, 11, 4, 3)));
    EXPECT_EQ(later->secondsSince1970(), utc(2018, 11, 5, 3));
    // A time that does not exist moves forward to the first one that does.
    auto intoGap = saoPaulo.dateByAddingDays(1, Date::fromSeconds(utc(2018, 11, 3, 3)));
    EXPECT_EQ(intoGap->secondsSince1970(), utc(2018, 11, 4, 3));
}

TEST(Calendar, KeepsFractionsAndRefusesUnrepresentableDates) {
    auto berlin = *Calendar::named("Europe/Berlin");
    auto later = berlin.dateByAddingDays(1, Date::fromMilliseconds(utc(2026, 12, 8, 10) * 1000 + 250.5));
    ASSERT_TRUE(later);
    EXPECT_DOUBLE_EQ(later->millisecondsSince1970, utc(2026, 12, 9, 10) * 1000 + 250.5);
    EXPECT_FALSE(berlin.dateByAddingDays(1, Date::fromSeconds(1e300)));
    EXPECT_FALSE(Calendar::named("Not/AZone"));
}

// A zone is known by name only through the installed lookup, and follows that lookup's rules.
TEST(Calendar, NamedZonesComeFromTheInstalledLookup) {
    struct HalfHourAhead final : ZoneRules {
        std::int64_t offsetAt(std::int64_t) const override { return 5 * 3600 + 1800; }
    };
    static const HalfHourAhead fixed;
    auto previous = installZoneLookup([](const std::string& name) -> const ZoneRules* {
        return name == "Test/PlusFiveThirty" ? &fixed : nullptr;
    });
    auto plusFiveThirty = Calendar::named("Test/PlusFiveThirty");
    bool berlinKnown = Calendar::named("Europe/Berlin").has_value();
    installZoneLookup(previous);

    ASSERT_TRUE(plusFiveThirty);
    EXPECT_FALSE(berlinKnown);
    EXPECT_EQ(plusFiveThirty->secondsFromGMT(Date::fromSeconds(utc(2026, 12, 8))), 19800);
    // 2026-12-08 20:00 UTC is 01:30 on the 9th there; that day began at 18:30 UTC.
    EXPECT_DOUBLE_EQ(plusFiveThirty->startOfDay(Date::fromSeconds(utc(2026, 12, 8, 20))).secondsSince1970(),
                     utc(2026, 12, 8, 18, 30));
    EXPECT_TRUE(Calendar::named("Europe/Berlin"));
}

}  // namespace
}  // namespace platform
