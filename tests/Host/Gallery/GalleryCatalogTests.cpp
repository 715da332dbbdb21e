#include <gtest/gtest.h>

#include "Host/Gallery/GalleryCatalog.hpp"

namespace widgetgallery {
namespace {

using platform::WidgetFamily;

struct Case {
    const char* name;
    const char* describe;
    std::vector<std::string> kinds;  // "kind|displayName|families as s/m"
    std::size_t problems;
};

std::string summary(const GalleryWidget& w) {
    std::string families;
    for (auto f : w.families) families += f == WidgetFamily::systemSmall ? "s" : "m";
    return w.kind + "|" + w.displayName + "|" + families;
}

class GalleryWidgetsTest : public ::testing::TestWithParam<Case> {};

TEST_P(GalleryWidgetsTest, TakesWhatCanBePlacedAndNamesTheRest) {
    const auto& c = GetParam();
    std::vector<std::string> problems;
    auto widgets = galleryWidgets("com.example.widget", "/x", nlohmann::json::parse(c.describe), &problems);
    std::vector<std::string> kinds;
    for (const auto& w : widgets) kinds.push_back(summary(w));
    EXPECT_EQ(kinds, c.kinds);
    EXPECT_EQ(problems.size(), c.problems);
}

INSTANTIATE_TEST_SUITE_P(
    Describe, GalleryWidgetsTest,
    ::testing::Values(
        Case{"both", R"({"widgets":[{"kind":"TimerWidget","displayName":"Timer","description":"d",
                                     "supportedFamilies":["systemSmall","systemMedium"]}]})",
             {"TimerWidget|Timer|sm"}, 0},
        Case{"noName", R"({"widgets":[{"kind":"K","supportedFamilies":["systemMedium","systemMedium"]}]})", {"K|K|m"}, 0},
        Case{"unknownFamily", R"({"widgets":[{"kind":"K","supportedFamilies":["systemLarge","systemSmall"]}]})",
             {"K|K|s"}, 0},
        Case{"noFamily", R"({"widgets":[{"kind":"K","supportedFamilies":["systemLarge"]},{"kind":"L",
                                        "supportedFamilies":["systemSmall"]}]})",
             {"L|L|s"}, 1},
        Case{"noKind", R"({"widgets":[{"displayName":"x","supportedFamilies":["systemSmall"]}, 7]})", {}, 1},
        Case{"notAList", R"({"widgets":{}})", {}, 1}, Case{"notAnObject", R"([1])", {}, 1}),
    [](const ::testing::TestParamInfo<Case>& testCase) { return std::string(testCase.param.name); });

TEST(AddButtonName, SaysWhatAndWhichSize) {
    GalleryWidget timer{"e", "/x", "TimerWidget", "Timer", "", {}};
    EXPECT_EQ(addButtonName(timer, WidgetFamily::systemSmall), "Add Timer, Small");
    EXPECT_EQ(addButtonName(timer, WidgetFamily::systemMedium), "Add Timer, Medium");
}

}  // namespace
}  // namespace widgetgallery
