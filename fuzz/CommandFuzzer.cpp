// The command decoder reads the files the widget leaves in the container's commands/ folder.
#include <cstdint>
#include <string_view>

#include "Widget/Store/WidgetCommand.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)kelvo::WidgetCommand::decode({reinterpret_cast<const char*>(data), size});
    return 0;
}
