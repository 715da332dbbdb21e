#include "Widget/Views/KelvoMark.hpp"

#include "Widget/Views/KelvoPalette.hpp"

namespace kelvo {

using namespace platform::views;

View KelvoMark::body(const platform::WidgetEnvironment& environment) const {
    bool fullColor = environment.widgetRenderingMode == platform::WidgetRenderingMode::fullColor;
    // 11/20 rather than 0.55, whose product with 28 is 15.400000000000002 and not 15.4.
    return Image("power")
        .font(Font::system(size * 11 / 20, FontWeight::heavy))
        .foregroundStyle(fullColor ? KelvoPalette::aubergine() : Color::primary())
        .frame(size, size, Alignment::center())
        .background(Circle().fill(fullColor ? KelvoPalette::pink() : Color::primary().withOpacity(0.2)),
                    Alignment::center())
        .accessibilityHidden(true);
}

}  // namespace kelvo
