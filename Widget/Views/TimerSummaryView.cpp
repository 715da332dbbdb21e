#include "Widget/Views/TimerSummaryView.hpp"

#include "Widget/Views/KelvoMark.hpp"
#include "Widget/Views/KelvoPalette.hpp"
#include "Widget/Views/TextUtilities.hpp"

namespace kelvo {

using namespace platform::views;

View TimerSummaryView::body(const platform::WidgetEnvironment& environment) const {
    std::vector<View> children;
    children.reserve(8);
    children.push_back(HStack(VerticalAlignment::center, 6, {caption(), Spacer(4), KelvoMark{20}.body(environment)}));
    children.push_back(Spacer(6));
    // The content's children sit directly in this stack, not in one of their own.
    auto content = snapshot.running ? runningContent(*snapshot.running) : idleContent();
    for (auto& child : content) children.push_back(std::move(child));
    children.push_back(Spacer(8));
    children.push_back(std::visit([&](const auto& button) { return button.body(environment); }, primaryAction()));
    return VStack(HorizontalAlignment::leading, 0, std::move(children))
        .frame(std::nullopt, infinity, std::nullopt, infinity, Alignment::leading());
}

View TimerSummaryView::caption() const {
    View variant;
    if (snapshot.offline) {
        variant = Label(snapshot.strings.offline, "wifi.slash");
    } else if (snapshot.running) {
        variant = HStack(VerticalAlignment::center, 5,
                         {Circle().fill(KelvoPalette::pink()).frame(6, 6, Alignment::center()).widgetAccentable(true),
                          Text(snapshot.running->project ? nonBlank(*snapshot.running->project).value_or("") : "")});
    } else {
        variant = Text(snapshot.strings.today);
    }
    return variant.font(Font::system(11, FontWeight::medium)).foregroundStyle(Color::secondary()).lineLimit(1);
}

std::vector<View> TimerSummaryView::runningContent(const WidgetSnapshot::RunningEntry& running) const {
    std::vector<View> children;
    auto name = running.name ? nonBlank(*running.name) : std::nullopt;
    children.push_back(Text(name.value_or(snapshot.strings.noDescription))
                           .font(Font::system(13, FontWeight::semibold))
                           .foregroundStyle(name ? Color::primary() : Color::secondary())
                           .lineLimit(2));
    children.push_back(TimerText(running.startTime)
                           .font(Font::system(26, FontWeight::semibold, FontDesign::rounded))
                           .monospacedDigit()
                           .multilineTextAlignment(TextAlignment::leading)
                           .lineLimit(1)
                           .minimumScaleFactor(0.7));
    if (showsTodayWhileRunning) {
        if (auto reference = snapshot.todayCountingReference(date)) {
            children.push_back(
                HStack(VerticalAlignment::center, 4,
                       {Text(snapshot.strings.today),
                        TimerText(*reference).monospacedDigit().multilineTextAlignment(TextAlignment::leading)})
                    .font(Font::system(11, FontWeight::medium))
                    .foregroundStyle(Color::secondary())
                    .lineLimit(1));
        }
    }
    return children;
}

std::vector<View> TimerSummaryView::idleContent() const {
    return {
        Text(formattedDuration(snapshot.todayBaseSeconds(date)))
            .font(Font::system(26, FontWeight::semibold, FontDesign::rounded))
            .monospacedDigit()
            .lineLimit(1)
            .minimumScaleFactor(0.7),
        Text(snapshot.strings.notTracking)
            .font(Font::system(12, FontWeight::medium))
            .foregroundStyle(Color::secondary())
            .lineLimit(1),
    };
}

TimerSummaryView::PrimaryAction TimerSummaryView::primaryAction() const {
    if (snapshot.running)
        return ActionButton<StopTrackingIntent>{snapshot.strings.stopTracking, "stop.fill", StopTrackingIntent{},
                                                snapshot.actionsEnabled()};
    return ActionButton<StartTrackingIntent>{snapshot.strings.startTracking, "play.fill", StartTrackingIntent{},
                                             snapshot.actionsEnabled()};
}

}  // namespace kelvo
