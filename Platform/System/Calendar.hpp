#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Platform/System/Date.hpp"

namespace platform {

class ZoneRules;

/// The Gregorian calendar in one time zone. Day boundaries follow the zone's rules, so a day may be
/// 23 or 25 hours long, may start at 01:00 or have two midnights, or may be skipped altogether.
class Calendar {
public:
    /// The user's calendar with the time zone of the services in force, made afresh at each call.
    static Calendar current();
    /// A calendar in the system's zone (TZ, else /etc/localtime), through the C library.
    static Calendar system();
    /// A calendar in a named IANA zone; nothing when the zone is unknown or no zone lookup is
    /// installed (Platform/System/ZoneRules.hpp).
    static std::optional<Calendar> named(const std::string& zone);

    /// The first moment of the calendar day that holds `date`.
    Date startOfDay(Date date) const;
    /// Whether both moments fall on the same calendar day.
    bool isDate(Date date, Date inSameDayAs) const;
    /// The moment `days` calendar days later at the same local time of day (the next valid time when
    /// that time does not exist), or nothing when it cannot be represented.
    std::optional<Date> dateByAddingDays(std::int64_t days, Date to) const;
    /// The offset from UTC in seconds at a moment.
    std::int64_t secondsFromGMT(Date date) const;

private:
    explicit Calendar(const ZoneRules* zone) : zone_(zone) {}
    std::int64_t offsetAt(std::int64_t utcSeconds) const;
    std::int64_t localSeconds(std::int64_t utcSeconds) const { return utcSeconds + offsetAt(utcSeconds); }
    std::int64_t localDay(std::int64_t utcSeconds) const;
    std::optional<std::int64_t> earliestAtOrAfterLocal(std::int64_t localTarget, std::int64_t guess) const;

    const ZoneRules* zone_;  // null: the system zone through the C library
};

}  // namespace platform
