#include "Widget/Views/KelvoMark.hpp"

#include "Widget/Views/KelvoPalette.hpp"

namespace kelvo {

using namespace platform::views;

View KelvoMark::body(const platform::WidgetEnvironment& environment) const {
    bool fullColor = environment.widgetRenderingMode == platform::WidgetRenderingMode::fullColor;
    return Image("power")
        .font(Font::system(size * 0.55, FontWeight::heavy))
        .foregroundStyle(fullColor ? KelvoPalette::aubergine() : Color::primary())
        .frame(size, size, Alignment::center())
        .background(Circle().fill(fullColor ? KelvoPalette::pink() : Color::primary().withOpacity(0.2)),
                    Alignment::center())
        .accessibilityHidden(true);
}

}  // namespace kelvo
