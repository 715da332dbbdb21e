#include "Widget/Views/ActionButton.hpp"

#include "Widget/Views/KelvoPalette.hpp"

namespace kelvo {

using namespace platform::views;

View actionButtonBody(const std::string& title, const std::string& systemImage, platform::IntentValue intent,
                      bool isEnabled, platform::WidgetRenderingMode renderingMode) {
    // A disabled button never shows brand colours, whatever the rendering mode.
    bool fullColor = renderingMode == platform::WidgetRenderingMode::fullColor;
    Color foreground = !isEnabled ? Color::secondary() : fullColor ? KelvoPalette::aubergine() : Color::primary();
    Color fill = !isEnabled ? Color::primary().withOpacity(0.08)
                 : fullColor ? KelvoPalette::pink()
                             : Color::primary().withOpacity(0.15);

    // Built from the inside out: the order decides what the padding and the capsule cover.
    View label = Label(title, systemImage)
                     .font(Font::system(12, FontWeight::semibold))
                     .lineLimit(1)
                     .minimumScaleFactor(0.8)
                     .foregroundStyle(foreground)
                     .frame(std::nullopt, infinity, std::nullopt, std::nullopt, Alignment::center())
                     .padding(Edges::vertical, 7)
                     .background(Capsule(CornerStyle::continuous).fill(fill), Alignment::center());
    return Button(std::move(intent), std::move(label)).buttonStyle(ButtonStyle::plain).disabled(!isEnabled);
}

}  // namespace kelvo
