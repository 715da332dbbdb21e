#include "Host/Render/Moment.hpp"

#include <gtest/gtest.h>

namespace widgetrender {
namespace {

TEST(Moment, ReadsMillisecondsOrIsoTimesAndRefusesDaysThatDoNotExist) {
    struct Case {
        const char* text;
        std::optional<double> ms;
    };
    const Case cases[] = {
        {"1700000000000.5", 1700000000000.5},
        {"2024-05-14T10:30:00Z", 1715682600000},
        {"2024-05-14T10:30:00.250Z", 1715682600250},
        {"2024-02-29T00:00:00Z", 1709164800000},
        {"2023-02-29T00:00:00Z", std::nullopt},
        {"2024-02-31T00:00:00Z", std::nullopt},
        {"2024-05-14T24:30:00Z", std::nullopt},
        {"2024-05-14T10:30:00", std::nullopt},
        {"2024-05-14T10:30:00Zjunk", std::nullopt},
        {"yesterday", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        auto moment = parseMoment(c.text);
        ASSERT_EQ(moment.has_value(), c.ms.has_value()) << c.text;
        EXPECT_EQ(moment.value_or(platform::Date{}).millisecondsSince1970, c.ms.value_or(0)) << c.text;
    }
}

}  // namespace
}  // namespace widgetrender
