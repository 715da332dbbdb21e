#include "Host/Render/Moment.hpp"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include <date/date.h>

namespace widgetrender {

std::optional<platform::Date> parseMoment(const std::string& text) {
    char* end = nullptr;
    double ms = std::strtod(text.c_str(), &end);
    if (!text.empty() && end && *end == '\0' && std::isfinite(ms)) return platform::Date::fromMilliseconds(ms);

    std::istringstream in(text);
    date::sys_time<std::chrono::microseconds> moment;
    in >> date::parse("%FT%TZ", moment);
    if (in.fail() || in.peek() != std::char_traits<char>::eof()) return std::nullopt;
    return platform::Date::fromMilliseconds(
        std::chrono::duration<double, std::milli>(moment.time_since_epoch()).count());
}

}  // namespace widgetrender
