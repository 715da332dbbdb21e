#pragma once

#include <compare>
#include <cstdint>

namespace platform {

/// A point in time. Kept as the milliseconds since 1970-01-01T00:00:00 UTC that documents carry,
/// so that a fractional millisecond read from a file is written back exactly.
struct Date {
    double millisecondsSince1970 = 0;

    static constexpr Date fromMilliseconds(double ms) { return Date{ms}; }
    static constexpr Date fromSeconds(double s) { return Date{s * 1000.0}; }

    constexpr double secondsSince1970() const { return millisecondsSince1970 / 1000.0; }
    /// Whole seconds, rounded toward negative infinity.
    std::int64_t wholeSeconds() const;

    constexpr Date addingSeconds(double s) const { return Date{millisecondsSince1970 + s * 1000.0}; }
    constexpr double secondsSince(Date other) const { return (millisecondsSince1970 - other.millisecondsSince1970) / 1000.0; }

    friend constexpr auto operator<=>(Date, Date) = default;
};

}  // namespace platform
