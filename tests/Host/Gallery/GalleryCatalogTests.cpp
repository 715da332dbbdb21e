#include <gtest/gtest.h>

#include "Host/Gallery/GalleryCatalog.hpp"

namespace widgetgallery {
namespace {

using platform::WidgetFamily;

TEST(AddButtonName, SaysWhatAndWhichSize) {
    GalleryWidget timer{"e", "TimerWidget", "Timer", "", {}};
    EXPECT_EQ(addButtonName(timer, WidgetFamily::systemSmall), "Add Timer, Small");
    EXPECT_EQ(addButtonName(timer, WidgetFamily::systemMedium), "Add Timer, Medium");
}

}  // namespace
}  // namespace widgetgallery
