// The request reader of an extension program: the input is what the host writes on its standard
// input, lines of JSON-RPC, served by a bundle with one widget and one intent.
#include <cstdint>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "Platform/Widgets/WidgetBundleMain.hpp"

namespace {

platform::EncodedEntry entry(const platform::TimelineProviderContext& context) {
    auto content = std::make_shared<const std::string>(nlohmann::json{{"family", platform::toString(context.family)}}.dump());
    return {platform::Date::fromSeconds(1700000000), content, nullptr};
}

platform::WidgetBundle makeBundle() {
    platform::WidgetConfiguration widget;
    widget.kind = "fuzz";
    widget.configurationDisplayName = [] { return "Fuzz"; };
    widget.description = [] { return "A widget for the request fuzzer"; };
    widget.supportedFamilies = {platform::WidgetFamily::systemSmall, platform::WidgetFamily::systemMedium};
    widget.placeholder = entry;
    widget.getSnapshot = entry;
    widget.getTimeline = [](const platform::TimelineProviderContext& context) {
        return platform::EncodedTimeline{{entry(context)}, platform::TimelineReloadPolicy::never()};
    };
    platform::WidgetBundle bundle{{widget}, {}};
    bundle.intents.add({"FuzzIntent", [] { return "Fuzz"; },
                        [](const platform::IntentValue& value, std::stop_token) { return value.parameters.contains("x"); }});
    return bundle;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const platform::WidgetBundle bundle = makeBundle();
    static std::FILE* output = std::fopen("/dev/null", "w");
    if (size == 0) return 0;
    std::FILE* input = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    if (!input) return 0;
    platform::widgetBundleMain(bundle, input, output);
    std::fclose(input);
    return 0;
}
