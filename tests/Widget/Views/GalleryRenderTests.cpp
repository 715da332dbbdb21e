#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "Platform/Views/ViewJson.hpp"
#include "Platform/Views/WidgetRenderer.hpp"
#include "Widget/Views/TimerWidgetView.hpp"
#include "tests/Widget/support/TestContainer.hpp"

// Every state of the gallery goes through the wire form and is painted at scale 1 and 2, light and
// dark, in every rendering mode. Nothing compares pixels; this catches what fails or crashes.
namespace kelvo {
namespace {

namespace views = platform::views;
using platform::WidgetFamily;
using platform::WidgetRenderingMode;

std::optional<WidgetSnapshot> state(const std::string& name) {
    const char* source = std::getenv("KELVO_SOURCE_DIR");
    auto path = std::filesystem::path(source ? source : ".") / "docs" / "gallery" / "states" / (name + ".json");
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream bytes;
    bytes << in.rdbuf();
    return WidgetSnapshot::decode(bytes.str());
}

class GalleryRender : public ::testing::TestWithParam<std::string> {};

TEST_P(GalleryRender, PaintsAtEveryScaleAppearanceAndMode) {
    testing::TestContainer container;
    std::optional<WidgetSnapshot> snapshot;
    if (GetParam() == "sample") {
        snapshot = WidgetSnapshot::preview();
    } else if (GetParam() != "no-snapshot") {
        snapshot = state(GetParam());
        ASSERT_TRUE(snapshot) << "docs/gallery/states/" << GetParam() << ".json does not decode";
    }
    Date now = snapshot ? snapshot->updatedAt.addingSeconds(5) : container.now();
    for (auto family : {WidgetFamily::systemSmall, WidgetFamily::systemMedium}) {
        for (auto mode : {WidgetRenderingMode::fullColor, WidgetRenderingMode::accented, WidgetRenderingMode::vibrant}) {
            auto wire = views::toJson(TimerWidgetView{TimerEntry{now, snapshot}}.body({family, mode}));
            auto view = views::WidgetView::fromJson(wire);
            ASSERT_TRUE(view) << view.error().message;
            for (double scale : {1.0, 2.0}) {
                for (auto appearance : {views::Appearance::light, views::Appearance::dark}) {
                    auto png = views::renderPng(*view, {family, scale, appearance, now});
                    ASSERT_TRUE(png);
                    EXPECT_GT(png->size(), 1000u);
                }
            }
            EXPECT_TRUE(views::renderSvg(*view, {family, 1, views::Appearance::light, now}));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Gallery, GalleryRender,
                         ::testing::Values("idle", "running", "offline", "logged-out", "no-snapshot", "sample"),
                         [](const auto& param) {
                             std::string name = param.param;
                             std::erase(name, '-');
                             return name;
                         });

}  // namespace
}  // namespace kelvo
