#include "Host/Gallery/GalleryPreview.hpp"

#include <gtest/gtest.h>

namespace widgetgallery {
namespace {

using platform::Date;
using platform::WidgetFamily;

constexpr const char* runningTimer = R"({"type":"vstack","alignment":"leading","spacing":4,"children":[
  {"type":"text","text":"Design review"},{"type":"timer","from":1000000}]})";
const Date started = Date::fromMilliseconds(1000000);

TEST(GalleryPreview, MovesLiveTimersOnByItselfAsALayoutOfItsOwnWould) {
    GalleryPreview preview{WidgetFamily::systemSmall};
    ASSERT_TRUE(preview.show(runningTimer, "fullColor", started.addingSeconds(61)));
    auto before = preview.texts();
    ASSERT_EQ(before.size(), 2u);

    auto later = started.addingSeconds(62);
    EXPECT_TRUE(preview.tick(later));
    EXPECT_NE(preview.texts(), before);
    GalleryPreview fresh{WidgetFamily::systemSmall};
    ASSERT_TRUE(fresh.show(runningTimer, "fullColor", later));
    EXPECT_EQ(preview.texts(), fresh.texts());
}

TEST(GalleryPreview, AStillViewNeedsNoRedraw) {
    GalleryPreview preview{WidgetFamily::systemMedium};
    ASSERT_TRUE(preview.show(R"({"type":"text","text":"Idle"})", "accented", started));
    EXPECT_FALSE(preview.tick(started.addingSeconds(1)));
    EXPECT_EQ(preview.texts(), std::vector<std::string>{"Idle"});
}

TEST(GalleryPreview, RefusesWhatItCannotShowAndKeepsTheLastPreview) {
    struct Case {
        const char* view;
        const char* mode;
        const char* why;
    };
    const std::string deep = std::string(300, '[') + std::string(300, ']');
    const Case cases[] = {
        {R"({"type":"text","text":"Idle"})", "sepia", "rendering mode"},
        {R"({"type":"text",)", "fullColor", "not JSON"},
        {R"({"type":"teleporter"})", "fullColor", "malformed"},
        {deep.c_str(), "fullColor", "too deep"},
    };
    GalleryPreview preview{WidgetFamily::systemSmall};
    ASSERT_TRUE(preview.show(R"({"type":"text","text":"Shown"})", "fullColor", started));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        auto shown = preview.show(c.view, c.mode, started);
        ASSERT_FALSE(shown);
        EXPECT_NE(shown.error().message.find(c.why), std::string::npos) << shown.error().message;
        EXPECT_EQ(preview.texts(), std::vector<std::string>{"Shown"});
    }
}

// A snapshot stands for the day it was taken on: the next one is due at that zone's midnight.
TEST(GalleryPreview, ANewEntryIsDueOnceTheDayItShowsHasEnded) {
    const Date shown = Date::fromMilliseconds(1796857170000);  // 2026-12-09 23:59:30 in Berlin
    auto berlin = platform::Calendar::named("Europe/Berlin");
    auto utc = platform::Calendar::named("UTC");
    ASSERT_TRUE(berlin && utc);
    struct Case {
        const platform::Calendar& calendar;
        double secondsLater;
        bool due;
    };
    const Case cases[] = {{*berlin, 29, false}, {*berlin, 31, true}, {*utc, 31, false}, {*utc, 3631, true}};
    for (const auto& c : cases) {
        GalleryPreview preview{WidgetFamily::systemSmall};
        EXPECT_FALSE(preview.due(shown.addingSeconds(c.secondsLater), c.calendar)) << "nothing shown yet";
        ASSERT_TRUE(preview.show(R"({"type":"text","text":"Idle"})", "fullColor", shown));
        EXPECT_EQ(preview.due(shown.addingSeconds(c.secondsLater), c.calendar), c.due) << c.secondsLater;
        ASSERT_TRUE(preview.show(R"({"type":"text","text":"Idle"})", "fullColor", shown.addingSeconds(c.secondsLater)));
        EXPECT_FALSE(preview.due(shown.addingSeconds(c.secondsLater), c.calendar)) << "the new entry is current";
    }
}

}  // namespace
}  // namespace widgetgallery
