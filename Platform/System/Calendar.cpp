#include "Platform/System/Calendar.hpp"

#include <atomic>
#include <cmath>
#include <ctime>

#include "Platform/System/Services.hpp"
#include "Platform/System/ZoneRules.hpp"

namespace platform {
namespace {

constexpr std::int64_t secondsPerDay = 86400;
// No zone has ever had an offset beyond ±26 hours; searches stay within that window.
constexpr std::int64_t searchWindow = 2 * secondsPerDay;
// Keeps time_t and the zone database inside the years they can represent.
constexpr double limitSeconds = 1e15;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

std::atomic<ZoneLookup> zoneLookup{nullptr};

bool representable(Date date) {
    double s = date.secondsSince1970();
    return std::isfinite(s) && std::fabs(s) < limitSeconds;
}

}  // namespace

ZoneLookup installZoneLookup(ZoneLookup lookup) { return zoneLookup.exchange(lookup); }

Calendar Calendar::current() {
    auto zone = services().timeZone();
    if (!zone.empty()) {
        if (auto calendar = named(zone)) return *calendar;
    }
    return system();
}

Calendar Calendar::system() {
    // localtime_r keeps the zone it first read; tzset() notices a changed TZ or /etc/localtime (a
    // stat when nothing changed), so a long-running process follows the user's zone.
    tzset();
    return Calendar{nullptr};
}

std::optional<Calendar> Calendar::named(const std::string& zone) {
    auto lookup = zoneLookup.load();
    const ZoneRules* rules = lookup ? lookup(zone) : nullptr;
    if (!rules) return std::nullopt;
    return Calendar{rules};
}

std::int64_t Calendar::offsetAt(std::int64_t utcSeconds) const {
    if (zone_) return zone_->offsetAt(utcSeconds);
    std::time_t t = static_cast<std::time_t>(utcSeconds);
    std::tm fields{};
    if (!localtime_r(&t, &fields)) return 0;
    return fields.tm_gmtoff;
}

std::int64_t Calendar::localDay(std::int64_t utcSeconds) const {
    return floorDiv(localSeconds(utcSeconds), secondsPerDay);
}

std::int64_t Calendar::secondsFromGMT(Date date) const {
    if (!representable(date)) return 0;
    return offsetAt(date.wholeSeconds());
}

// The earliest UTC second whose local wall time is at or after `localTarget`. Local time only runs
// backwards within a fall-back hour, which never spans the midnights this is used for.
std::optional<std::int64_t> Calendar::earliestAtOrAfterLocal(std::int64_t localTarget, std::int64_t guess) const {
    // Pass 1: the common case, where the guess is right and the second before it is not yet there.
    if (localSeconds(guess) >= localTarget && localSeconds(guess - 1) < localTarget) return guess;

    // Pass 2: a bisection over a window wide enough for every offset.
    std::int64_t low = localTarget - searchWindow;  // local time here is before the target
    std::int64_t high = localTarget + searchWindow; // and here at or after it
    if (localSeconds(low) >= localTarget || localSeconds(high) < localTarget) return std::nullopt;
    while (high - low > 1) {
        std::int64_t middle = low + (high - low) / 2;
        if (localSeconds(middle) >= localTarget)
            high = middle;
        else
            low = middle;
    }
    return high;
}

Date Calendar::startOfDay(Date date) const {
    if (!representable(date)) return date;
    std::int64_t t = date.wholeSeconds();
    std::int64_t dayStartLocal = localDay(t) * secondsPerDay;
    auto start = earliestAtOrAfterLocal(dayStartLocal, dayStartLocal - offsetAt(t));
    return start ? Date::fromSeconds(static_cast<double>(*start)) : date;
}

bool Calendar::isDate(Date date, Date inSameDayAs) const {
    if (!representable(date) || !representable(inSameDayAs)) return false;
    return localDay(date.wholeSeconds()) == localDay(inSameDayAs.wholeSeconds());
}

std::optional<Date> Calendar::dateByAddingDays(std::int64_t days, Date to) const {
    if (!representable(to) || std::llabs(days) > 1'000'000) return std::nullopt;
    std::int64_t t = to.wholeSeconds();
    double fraction = to.secondsSince1970() - static_cast<double>(t);
    std::int64_t target = localSeconds(t) + days * secondsPerDay;
    auto guess = target - offsetAt(t + days * secondsPerDay);
    auto result = earliestAtOrAfterLocal(target, guess);
    if (!result) return std::nullopt;
    return Date::fromSeconds(static_cast<double>(*result) + fraction);
}

}  // namespace platform
