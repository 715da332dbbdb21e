// What the widget host reads from an extension: one answer line, parsed as the host parses it, its
// timeline, entry or description, and the entries' view trees, laid out as the host lays them out.
#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Platform/Widgets/Protocol.hpp"
#include "Platform/Views/PlacedBoxes.hpp"
#include "Platform/Views/WidgetRenderer.hpp"

// fontconfig keeps its configuration until the process ends.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

void layOutEntry(const platform::EncodedEntry& entry) {
    if (!entry.view) return;
    auto view = platform::views::WidgetView::fromJson(*entry.view);
    if (!view) return;
    for (auto family : {platform::WidgetFamily::systemSmall, platform::WidgetFamily::systemMedium})
        (void)platform::views::layOut(*view, family, entry.date, platform::views::PlacedBoxes::skipped);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    namespace protocol = platform::protocol;
    auto answer = protocol::parseLine(line);
    if (!answer || !answer->is_object()) return 0;
    auto result = answer->find("result");
    if (result == answer->end()) return 0;
    if (auto entry = protocol::decodeEntry(*result)) layOutEntry(*entry);
    if (auto timeline = protocol::decodeTimeline(*result))
        for (const auto& e : timeline->entries) layOutEntry(e);
    (void)protocol::decodeDescription(*result);
    return 0;
}
