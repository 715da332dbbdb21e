#pragma once

#include <cstdint>
#include <string>

namespace platform {

/// A time zone's offsets from UTC.
class ZoneRules {
public:
    virtual ~ZoneRules() = default;
    /// The offset from UTC in seconds at a moment.
    virtual std::int64_t offsetAt(std::int64_t utcSeconds) const = 0;
};

/// The rules of a named IANA zone, alive for the rest of the process; null when the zone is unknown.
using ZoneLookup = const ZoneRules* (*)(const std::string& name);

/// Installs what `Calendar::named` looks zones up with. Until then no zone is known by name: the
/// programs use the system's zone through the C library, and only those that name zones (the tests)
/// link the named-zones library (`widget::named_zones`), which installs itself at start and brings a
/// zone database library that would otherwise be loaded and relocated at each start. Gives back the
/// lookup installed before.
ZoneLookup installZoneLookup(ZoneLookup lookup);

}  // namespace platform
