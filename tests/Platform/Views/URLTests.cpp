#include "Platform/Views/URL.hpp"

#include <gtest/gtest.h>

namespace platform::views {
namespace {

struct Case {
    const char* text;
    bool parses;
};

class URLParsing : public ::testing::TestWithParam<Case> {};

TEST_P(URLParsing, AcceptsUrlReferencesOnly) {
    auto url = URL::parse(GetParam().text);
    EXPECT_EQ(url.has_value(), GetParam().parses) << GetParam().text;
    if (url) {
        EXPECT_EQ(url->string, GetParam().text);
    }
}

INSTANTIATE_TEST_SUITE_P(URL, URLParsing,
                         ::testing::Values(Case{"kelvo://timer", true}, Case{"https://kelvo.app/t?id=1&x=%20#top", true},
                                           Case{"timer", true}, Case{"/relative/path", true}, Case{"mailto:a@b.c", true},
                                           Case{"", false}, Case{"kelvo://time r", false}, Case{"kelvo://timer#a#b", false},
                                           Case{"kelvo://%zz", false}, Case{"kelvo://%2", false}, Case{"1kelvo://x", false},
                                           Case{"ke_lvo://x", false}, Case{"kelvo://<x>", false}, Case{"kelvo://é", false},
                                           Case{":nothing", false}));

}  // namespace
}  // namespace platform::views
