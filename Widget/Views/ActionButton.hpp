#pragma once

#include <string>

#include "Platform/Intents/Intent.hpp"
#include "Platform/Views/View.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"

namespace kelvo {

/// The body of every `ActionButton`, whatever its intent type.
platform::views::View actionButtonBody(const std::string& title, const std::string& systemImage,
                                       platform::IntentValue intent, bool isEnabled,
                                       platform::WidgetRenderingMode renderingMode);

/// The wide pill button: a symbol and a title, centred in a capsule as wide as its column, that
/// runs `intent` when pressed. `Intent` is any intent type with `value()`.
template <class Intent>
struct ActionButton {
    std::string title;
    std::string systemImage;
    Intent intent;
    bool isEnabled = true;

    platform::views::View body(const platform::WidgetEnvironment& environment) const {
        return actionButtonBody(title, systemImage, intent.value(), isEnabled, environment.widgetRenderingMode);
    }
};

}  // namespace kelvo
