#include "Widget/Views/TimerWidgetView.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Platform/System/Services.hpp"
#include "Widget/Views/KelvoPalette.hpp"
#include "tests/Widget/support/TestContainer.hpp"
#include "tests/Widget/Views/ViewTesting.hpp"

namespace kelvo {
namespace {

using namespace platform::views;
using platform::WidgetFamily;

class TimerWidget : public ::testing::Test {
protected:
    testing::TestContainer container;
    Date now = container.now();

    Layout layOut(std::optional<WidgetSnapshot> snapshot, WidgetFamily family = WidgetFamily::systemSmall) {
        return testing::layOutView(TimerWidgetView{TimerEntry{now, std::move(snapshot)}}.body(testing::environment(family)),
                                   family, now);
    }
};

TEST_F(TimerWidget, NoSnapshotShowsTheBuiltInOpenAppMessage) {
    auto layout = layOut(std::nullopt);
    EXPECT_EQ(layout.texts, (std::vector<std::string>{"Open Kelvo to see your timer"}));
    EXPECT_TRUE(testing::symbolCommand(layout, "power"));
    ASSERT_TRUE(layout.containerBackground);
    EXPECT_EQ(*layout.containerBackground, KelvoPalette::background());
    EXPECT_FALSE(layout.widgetURL);  // no snapshot link and no fallback in this bundle
    EXPECT_TRUE(layout.buttons.empty());
}

struct MessageCase {
    bool appRunning;
    bool loggedIn;
    const char* message;
};

class TimerWidgetMessages : public TimerWidget, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(TimerWidgetMessages, TheSnapshotsOwnTextExplainsWhy) {
    auto s = testing::onlineSnapshot(now);
    s.appRunning = GetParam().appRunning;
    s.loggedIn = GetParam().loggedIn;
    s.strings.openApp = "Start the Kelvo app";
    s.strings.loggedOut = "Please log in";
    for (auto family : {WidgetFamily::systemSmall, WidgetFamily::systemMedium}) {
        auto layout = layOut(s, family);
        EXPECT_EQ(layout.texts, (std::vector<std::string>{GetParam().message}));
        EXPECT_EQ(*layout.containerBackground, KelvoPalette::background());
    }
}

INSTANTIATE_TEST_SUITE_P(TimerWidget, TimerWidgetMessages,
                         ::testing::Values(MessageCase{false, false, "Start the Kelvo app"},
                                           MessageCase{false, true, "Start the Kelvo app"},
                                           MessageCase{true, false, "Please log in"}));

TEST_F(TimerWidget, MessageSitsBottomLeftUnderTheMarkTopLeft) {
    auto layout = layOut(std::nullopt, WidgetFamily::systemMedium);
    const Rect mark = testing::boxes(layout, "Background").at(0).frame;
    EXPECT_EQ(mark, (Rect{16, 16, 28, 28}));
    const auto* message = testing::textCommand(layout, "Open Kelvo to see your timer");
    EXPECT_EQ(message->frame.x, 16);
    EXPECT_NEAR(message->frame.y + message->frame.height, 154, 1e-9);
    EXPECT_EQ(message->font, Font::system(13, FontWeight::semibold));
    EXPECT_EQ(message->maxLines, 3);
}

TEST_F(TimerWidget, OfflineButRunningAndLoggedInStillShowsTheTimer) {
    auto s = testing::onlineSnapshot(now);
    s.offline = true;
    auto layout = layOut(s);
    EXPECT_EQ(layout.texts.front(), "Offline");
    EXPECT_EQ(layout.buttons.size(), 1u);
}

TEST_F(TimerWidget, FamilyChoosesTheLayout) {
    auto s = testing::onlineSnapshot(now);
    s.running = WidgetSnapshot::RunningEntry{"Design review", std::nullopt, now.addingSeconds(-60)};
    auto small = layOut(s, WidgetFamily::systemSmall);
    EXPECT_FALSE(testing::textCommand(small, "Recent"));
    EXPECT_FALSE(testing::textCommand(small, "Today"));  // no today row under the small timer
    auto medium = layOut(s, WidgetFamily::systemMedium);
    EXPECT_TRUE(testing::textCommand(medium, "Recent"));
    EXPECT_TRUE(testing::textCommand(medium, "Today"));
}

// A bundle whose information dictionary may name the fallback link.
class TimerWidgetLinks : public TimerWidget {
protected:
    platform::Bundle bundle;
    std::unique_ptr<platform::ScopedServices> scope;

    void withFallback(nlohmann::json value) {
        scope.reset();  // guards restore in reverse order
        bundle.infoDictionary = std::make_shared<const nlohmann::json>(nlohmann::json{{"KelvoWidgetDeepLink", value}});
        auto services = platform::services();
        services.mainBundle = [this]() -> const platform::Bundle& { return bundle; };
        scope = std::make_unique<platform::ScopedServices>(services);
    }
    std::optional<std::string> urlFor(std::optional<std::string> deepLink) {
        auto s = testing::onlineSnapshot(now);
        s.deepLink = std::move(deepLink);
        return layOut(s).widgetURL;
    }
};

TEST_F(TimerWidgetLinks, TheSnapshotsLinkWinsWhenItParses) {
    withFallback("kelvo://timer");
    EXPECT_EQ(urlFor("kelvo://entry/42"), "kelvo://entry/42");
    EXPECT_EQ(urlFor(std::nullopt), "kelvo://timer");
    EXPECT_EQ(urlFor(""), "kelvo://timer");
    EXPECT_EQ(urlFor("not a link"), "kelvo://timer");
    EXPECT_EQ((TimerWidgetView{TimerEntry{now, std::nullopt}}.widgetURL()), "kelvo://timer");
}

TEST_F(TimerWidgetLinks, AFallbackThatIsNoUsableLinkGivesNone) {
    withFallback(42);
    EXPECT_EQ(urlFor(std::nullopt), std::nullopt);
    withFallback("two words");
    EXPECT_EQ(urlFor(""), std::nullopt);
    EXPECT_EQ(urlFor("kelvo://ok"), "kelvo://ok");
}

}  // namespace
}  // namespace kelvo
