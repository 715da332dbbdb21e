#include "Widget/Views/RecentRow.hpp"

#include "Widget/Intents/TimerIntents.hpp"
#include "Widget/Views/KelvoPalette.hpp"
#include "Widget/Views/TextUtilities.hpp"

namespace kelvo {

using namespace platform::views;

View RecentRow::body(const platform::WidgetEnvironment& environment) const {
    std::vector<View> texts;
    // The name is shown as stored, even blank; a blank project leaves its line out.
    texts.push_back(Text(item.name).font(Font::system(12, FontWeight::semibold)).lineLimit(1));
    if (auto project = item.project ? nonBlank(*item.project) : std::nullopt) {
        texts.push_back(Text(*project).font(Font::system(11)).foregroundStyle(Color::secondary()).lineLimit(1));
    }

    bool fullColor = environment.widgetRenderingMode == platform::WidgetRenderingMode::fullColor;
    Color symbol = !canStart ? Color::secondary() : fullColor ? KelvoPalette::aubergine() : Color::primary();
    Color disc = !canStart ? Color::primary().withOpacity(0.08)
                 : fullColor ? KelvoPalette::pink()
                             : Color::primary().withOpacity(0.15);

    // The command carries the project exactly as stored, blank or absent, even where the row
    // does not show it.
    View button = Button(StartRecentIntent(item.name, item.project).value(),
                         Image("play.fill")
                             .font(Font::system(8, FontWeight::bold))
                             .foregroundStyle(symbol)
                             .frame(22, 22, Alignment::center())
                             .background(Circle().fill(disc), Alignment::center()))
                      .buttonStyle(ButtonStyle::plain)
                      .disabled(!canStart)
                      .accessibilityLabel(startLabel + ": " + item.name);

    return HStack(VerticalAlignment::center, 8,
                  {VStack(HorizontalAlignment::leading, 1, std::move(texts)), Spacer(4), std::move(button)});
}

}  // namespace kelvo
