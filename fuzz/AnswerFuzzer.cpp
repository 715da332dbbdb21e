// What the widget host reads from an extension: one answer line, parsed as the extension pipe
// parses it, its timeline, entry or description, and the entries' view trees, laid out as the host
// lays them out.
#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Host/WidgetHost/WidgetTimeline.hpp"
#include "Platform/Views/PlacedBoxes.hpp"
#include "Platform/Views/WidgetRenderer.hpp"

// fontconfig keeps its configuration until the process ends.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

void layOutEntry(const widgethost::TimelineEntry& entry) {
    if (!entry.view) return;
    auto view = platform::views::WidgetView::fromJson(*entry.view);
    if (!view) return;
    for (auto family : {platform::WidgetFamily::systemSmall, platform::WidgetFamily::systemMedium})
        (void)platform::views::layOut(*view, family, entry.date, platform::views::PlacedBoxes::skipped);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    auto answer = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (!answer.is_object()) return 0;
    auto result = answer.find("result");
    if (result == answer.end()) return 0;
    if (auto entry = widgethost::decodeEntry(*result)) layOutEntry(*entry);
    if (auto timeline = widgethost::decodeTimeline(*result))
        for (const auto& e : timeline->entries) layOutEntry(e);
    (void)widgethost::decodeDescription(*result);
    return 0;
}
