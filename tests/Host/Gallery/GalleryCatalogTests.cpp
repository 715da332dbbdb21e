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

// The host's messages name kinds and families; the gallery shows none of them.
TEST(FailureText, SaysWhatWentWrongWithoutInternalNames) {
    const char* cases[][2] = {
        {"net.widgethost.Control1.Error.UnknownKind", "It is no longer installed."},
        {"net.widgethost.Control1.Error.UnsupportedFamily", "It does not come in this size."},
        {"net.widgethost.Control1.Error.Unavailable", "Its extension is not responding."},
        {"org.freedesktop.DBus.Error.ServiceUnknown", "The widget host is not running."},
        {"org.freedesktop.DBus.Error.Spawn.ChildExited", "The widget host is not running."},
        {"org.freedesktop.DBus.Error.NoReply", "The widget host did not answer in time."},
        {"net.widgethost.Control1.Error.Failed", "The widget host reported an error."},
    };
    for (const auto& [name, said] : cases)
        EXPECT_EQ(failureText({name, "TimerWidget does not come in systemSmall"}), said) << name;
}

}  // namespace
}  // namespace widgetgallery
