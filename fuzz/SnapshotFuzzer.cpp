// The snapshot decoder reads whatever the application (or anyone who can write the group
// container) left in state.json. Whatever it accepts must encode and read back to the same value.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Widget/Model/WidgetSnapshot.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto snapshot = kelvo::WidgetSnapshot::decode({reinterpret_cast<const char*>(data), size});
    if (!snapshot) return 0;
    auto again = kelvo::WidgetSnapshot::decode(snapshot->encode());
    if (!again || again->encode() != snapshot->encode()) std::abort();
    return 0;
}
