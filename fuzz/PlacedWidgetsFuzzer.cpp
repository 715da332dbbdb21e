// The host's widgets.json. Whatever it reads must be written and read back unchanged, or the
// user's widgets would move or vanish across restarts.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Host/WidgetHost/PlacedWidgets.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> dropped;
    auto list = widgethost::decodePlacedWidgets({reinterpret_cast<const char*>(data), size}, &dropped);
    if (!list) return 0;
    std::vector<std::string> droppedAgain;
    auto again = widgethost::decodePlacedWidgets(widgethost::encodePlacedWidgets(*list), &droppedAgain);
    if (!again || again->widgets != list->widgets || again->nextNumber != list->nextNumber || !droppedAgain.empty())
        std::abort();
    return 0;
}
