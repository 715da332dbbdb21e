#include "Widget/Views/TimerWidgetView.hpp"

#include <nlohmann/json.hpp>

#include "Platform/System/Services.hpp"
#include "Platform/Views/URL.hpp"
#include "Widget/Views/KelvoPalette.hpp"
#include "Widget/Views/MediumTimerView.hpp"
#include "Widget/Views/MessageView.hpp"
#include "Widget/Views/TimerSummaryView.hpp"

namespace kelvo {

using namespace platform::views;

namespace {
platform::ProcessValue<std::optional<std::string>> fallbackLink;
}

std::optional<std::string> fallbackWidgetDeepLink() {
    return fallbackLink.get([]() -> std::optional<std::string> {
        const auto* value = platform::services().mainBundle().objectForInfoDictionaryKey("KelvoWidgetDeepLink");
        if (!value || !value->is_string()) return std::nullopt;
        auto url = URL::parse(value->get_ref<const std::string&>());
        if (!url) return std::nullopt;
        return url->string;
    });
}

View TimerWidgetView::body(const platform::WidgetEnvironment& environment) const {
    return content(environment).widgetURL(widgetURL()).containerBackground(KelvoPalette::background());
}

View TimerWidgetView::content(const platform::WidgetEnvironment& environment) const {
    // Offline, canTrack and running play no part here: the timer layouts show them.
    const auto& snapshot = entry.snapshot;
    if (snapshot && snapshot->appRunning && snapshot->loggedIn) {
        if (environment.widgetFamily == platform::WidgetFamily::systemMedium)
            return MediumTimerView{*snapshot, entry.date}.body(environment);
        return TimerSummaryView{.snapshot = *snapshot, .date = entry.date, .showsTodayWhileRunning = false}.body(environment);
    }
    return MessageView{message()}.body(environment);
}

std::string TimerWidgetView::message() const {
    const auto& snapshot = entry.snapshot;
    if (!snapshot) return WidgetSnapshot::Strings::localized().openApp;
    if (!snapshot->appRunning) return snapshot->strings.openApp;
    return snapshot->strings.loggedOut;
}

std::optional<std::string> TimerWidgetView::widgetURL() const {
    if (entry.snapshot && entry.snapshot->deepLink) {
        if (auto url = URL::parse(*entry.snapshot->deepLink)) return url->string;
    }
    return fallbackWidgetDeepLink();
}

}  // namespace kelvo
