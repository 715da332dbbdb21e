// The request reader of an extension program: the input is what the host writes on its standard
// input, lines of JSON-RPC, served by a bundle with one widget and one intent.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include <nlohmann/json.hpp>

#include "Platform/System/Files.hpp"
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
    static const int output = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (size == 0) return 0;
    int input = ::memfd_create("request", MFD_CLOEXEC);
    if (input < 0) return 0;
    if (platform::writeAll(input, {reinterpret_cast<const char*>(data), size}) && ::lseek(input, 0, SEEK_SET) == 0)
        platform::widgetBundleMain(bundle, input, output);
    ::close(input);
    return 0;
}
