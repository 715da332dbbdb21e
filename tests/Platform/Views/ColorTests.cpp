#include "Platform/Views/Color.hpp"

#include <gtest/gtest.h>

namespace platform::views {
namespace {

TEST(Color, ResolvesForTheAppearance) {
    auto dynamic = Color::dynamic({1, 1, 1, 1}, {0.1, 0.2, 0.3, 1});
    EXPECT_EQ(dynamic.resolved(Appearance::light), (RGBA{1, 1, 1, 1}));
    EXPECT_EQ(dynamic.resolved(Appearance::dark), (RGBA{0.1, 0.2, 0.3, 1}));
    // Hierarchical levels: dark text on light, light text on dark, secondary fainter than primary.
    auto primaryLight = Color::primary().resolved(Appearance::light);
    auto primaryDark = Color::primary().resolved(Appearance::dark);
    EXPECT_EQ(primaryLight.red, 0);
    EXPECT_EQ(primaryDark.red, 1);
    EXPECT_LT(Color::secondary().resolved(Appearance::light).alpha, primaryLight.alpha);
    EXPECT_EQ(Color::srgb8(236, 132, 255).resolved(Appearance::dark), (RGBA{236 / 255.0, 132 / 255.0, 1, 1}));
}

TEST(Color, OpacityMultiplies) {
    auto c = Color::primary().withOpacity(0.5).withOpacity(0.5);
    EXPECT_DOUBLE_EQ(c.resolved(Appearance::light).alpha, Color::primary().resolved(Appearance::light).alpha * 0.25);
    EXPECT_DOUBLE_EQ(Color::srgb(1, 0, 0, 0.5).withOpacity(0.5).resolved(Appearance::light).alpha, 0.25);
}

TEST(Color, DescribesItselfForDumps) {
    EXPECT_EQ(describe(Color::srgb8(236, 132, 255)), "#EC84FF");
    EXPECT_EQ(describe(Color::primary().withOpacity(0.15)), "primary*0.15");
    EXPECT_EQ(describe(Color::dynamic({1, 1, 1, 1}, {31 / 255.0, 14 / 255.0, 40 / 255.0, 1})), "dynamic(#FFFFFF/#1F0E28)");
}

}  // namespace
}  // namespace platform::views
