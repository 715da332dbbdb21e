// The C interface of the bridge library: plain C linkage, no exception crosses it.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Bridge/include/kelvo_widget_bridge.h"
#include "Platform/System/GroupContainer.hpp"
#include "Platform/Widgets/WidgetCenter.hpp"

namespace {

std::int32_t countOfKind(const std::vector<platform::WidgetInfo>& widgets, const std::string& kind) {
    std::int32_t count = 0;
    for (const auto& widget : widgets)
        if (widget.kind == kind && count < INT32_MAX) ++count;
    return count;
}

}  // namespace

extern "C" {

void kelvo_widget_reload_all_timelines(void) {
    try {
        platform::WidgetCenter::shared().reloadAllTimelines();
    } catch (...) {
    }
}

char* kelvo_widget_container_path(const char* group) {
    if (!group) return nullptr;
    try {
        // Exactly the widget's path: collapsing a ".." after a symbolic link would lead elsewhere.
        auto container = platform::containerURLForSecurityApplicationGroupIdentifier(group);
        return container ? strdup(container->c_str()) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

void kelvo_widget_free_string(char* s) { std::free(s); }

std::int32_t kelvo_widget_placed_count(const char* kind, std::int32_t timeout_ms) {
    if (!kind || timeout_ms <= 0) return -1;
    try {
        auto widgets = platform::WidgetCenter::shared().getCurrentConfigurations(std::chrono::milliseconds(timeout_ms));
        return widgets ? countOfKind(*widgets, kind) : -1;
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
