#include "Platform/Widgets/WidgetConfiguration.hpp"

namespace platform {

void shareEqualContent(const EncodedEntry& previous, EncodedEntry& entry) {
    if (entry.content && previous.content && entry.content != previous.content && *entry.content == *previous.content)
        entry.content = previous.content;
}

}  // namespace platform
