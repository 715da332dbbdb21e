#include "Widget/Views/TextUtilities.hpp"

#include <cmath>
#include <limits>
#include <regex>

#include <gtest/gtest.h>

namespace kelvo {
namespace {

struct DurationCase {
    double seconds;
    const char* text;
};

class FormattedDuration : public ::testing::TestWithParam<DurationCase> {};

TEST_P(FormattedDuration, ShowsHoursMinutesAndSeconds) {
    EXPECT_EQ(formattedDuration(GetParam().seconds), GetParam().text) << GetParam().seconds;
}

INSTANTIATE_TEST_SUITE_P(TextUtilities, FormattedDuration,
                         ::testing::Values(DurationCase{0, "0:00:00"}, DurationCase{59.9, "0:00:59"},
                                           DurationCase{3599, "0:59:59"}, DurationCase{3600, "1:00:00"},
                                           DurationCase{11520, "3:12:00"}, DurationCase{360000, "100:00:00"},
                                           DurationCase{-5, "0:00:00"}, DurationCase{0.999, "0:00:00"},
                                           DurationCase{std::nan(""), "0:00:00"},
                                           DurationCase{-std::numeric_limits<double>::infinity(), "0:00:00"}));

TEST(FormattedDurationLimits, HugeValuesDoNotOverflow) {
    // Clamped, still hours, minutes and seconds.
    EXPECT_TRUE(std::regex_match(formattedDuration(1e300), std::regex("[0-9]+:[0-5][0-9]:[0-5][0-9]")));
}

struct BlankCase {
    const char* text;
    bool blank;
};

class NonBlank : public ::testing::TestWithParam<BlankCase> {};

TEST_P(NonBlank, KeepsTheTextUntrimmedUnlessItIsAllWhiteSpace) {
    auto result = nonBlank(GetParam().text);
    EXPECT_EQ(!result.has_value(), GetParam().blank) << GetParam().text;
    if (result) {
        EXPECT_EQ(*result, GetParam().text);
    }
}

INSTANTIATE_TEST_SUITE_P(TextUtilities, NonBlank,
                         ::testing::Values(BlankCase{"", true}, BlankCase{"   ", true}, BlankCase{"\n\t\r\n", true},
                                           BlankCase{"\xC2\xA0\xE2\x80\x83\xE3\x80\x80", true},  // no-break, em, ideographic
                                           BlankCase{"  Design review  ", false}, BlankCase{"x", false},
                                           BlankCase{" \xC3\xA9 ", false}, BlankCase{"\xFF", false}));

}  // namespace
}  // namespace kelvo
