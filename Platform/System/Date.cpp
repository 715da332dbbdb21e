#include "Platform/System/Date.hpp"

#include <cmath>

namespace platform {

std::int64_t Date::wholeSeconds() const {
    return static_cast<std::int64_t>(std::floor(millisecondsSince1970 / 1000.0));
}

}  // namespace platform
