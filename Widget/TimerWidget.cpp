#include "Widget/TimerWidget.hpp"

#include "Platform/Views/ViewJson.hpp"
#include "Widget/Intents/TimerIntents.hpp"
#include "Widget/Model/WidgetStrings.hpp"
#include "Widget/Timeline/TimerProvider.hpp"
#include "Widget/Views/TimerWidgetView.hpp"

namespace kelvo {

platform::WidgetConfiguration TimerWidget() {
    platform::EntryRendering<TimerEntry> rendering;
    rendering.content = [](const TimerEntry& entry) -> std::shared_ptr<const std::string> {
        if (!entry.snapshot) return nullptr;
        return std::make_shared<const std::string>(entry.snapshot->encode());
    };
    rendering.view = [](const TimerEntry& entry, const platform::WidgetEnvironment& environment) {
        auto text = std::make_shared<std::string>();
        platform::views::appendJson(*text, TimerWidgetView{entry}.body(environment));
        return std::shared_ptr<const std::string>(std::move(text));
    };
    auto configuration = platform::StaticConfiguration(timerWidgetKind, TimerProvider{}, rendering);
    configuration.configurationDisplayName = [] { return strings::text(strings::galleryName); };
    configuration.description = [] { return strings::text(strings::galleryDescription); };
    configuration.supportedFamilies = {platform::WidgetFamily::systemSmall, platform::WidgetFamily::systemMedium};
    return configuration;
}

platform::WidgetBundle KelvoWidgetBundle() {
    platform::WidgetBundle bundle;
    bundle.widgets.push_back(TimerWidget());
    registerTimerIntents(bundle.intents);
    return bundle;
}

}  // namespace kelvo
