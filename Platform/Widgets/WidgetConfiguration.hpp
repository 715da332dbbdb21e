#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Platform/System/Date.hpp"
#include "Platform/Widgets/Timeline.hpp"
#include "Platform/Widgets/WidgetFamily.hpp"

namespace platform {

/// One entry as it goes to the host: its date, its content for inspection, and its view tree. The
/// content is kept as JSON text: it is only passed on, and as a tree it would take several times the
/// memory of its text. An extension writes its view as text too, never building a tree; the host
/// reads it as a tree.
struct EncodedEntry {
    Date date;
    std::shared_ptr<const std::string> content;   // JSON text; null: the entry has no content to show
    std::shared_ptr<const nlohmann::json> view;   // as read from an answer; null: no view tree
    std::shared_ptr<const std::string> viewText{};  // as an extension writes it, JSON text; written before `view`
};

struct EncodedTimeline {
    std::vector<EncodedEntry> entries;
    TimelineReloadPolicy policy;
};

/// Lets `entry` hold its predecessor's content when the two are equal, so that a timeline whose
/// entries show the same content keeps one copy of it.
void shareEqualContent(const EncodedEntry& previous, EncodedEntry& entry);

/// A widget as the bundle declares it, with its provider and content behind plain functions.
struct WidgetConfiguration {
    std::string kind;
    std::function<std::string()> configurationDisplayName;
    std::function<std::string()> description;
    std::vector<WidgetFamily> supportedFamilies;

    std::function<EncodedEntry(const TimelineProviderContext&)> placeholder;
    std::function<EncodedEntry(const TimelineProviderContext&)> getSnapshot;
    std::function<EncodedTimeline(const TimelineProviderContext&)> getTimeline;
};

/// How a configuration turns its provider's entries into what the host receives.
template <class Entry>
struct EntryRendering {
    /// The entry's content as JSON text (null pointer for none).
    std::function<std::shared_ptr<const std::string>(const Entry&)> content;
    /// The view tree for the entry as JSON text, evaluated for one family and rendering mode (null for none).
    std::function<std::shared_ptr<const std::string>(const Entry&, const WidgetEnvironment&)> view;
};

/// A widget that the user cannot configure: a kind, a timeline provider and the entries' rendering.
/// The provider offers `placeholder(ctx)`, `getSnapshot(ctx, completion)` and `getTimeline(ctx, completion)`.
template <class Provider, class Entry>
WidgetConfiguration StaticConfiguration(std::string kind, Provider provider, EntryRendering<Entry> rendering) {
    auto encode = [rendering](const Entry& entry, const TimelineProviderContext& context) {
        EncodedEntry out{entry.date, nullptr, nullptr};
        if (rendering.content) out.content = rendering.content(entry);
        if (rendering.view) out.viewText = rendering.view(entry, WidgetEnvironment{context.family, context.renderingMode});
        return out;
    };
    WidgetConfiguration configuration;
    configuration.kind = std::move(kind);
    configuration.placeholder = [provider, encode](const TimelineProviderContext& context) {
        return encode(provider.placeholder(context), context);
    };
    configuration.getSnapshot = [provider, encode](const TimelineProviderContext& context) {
        EncodedEntry result;
        provider.getSnapshot(context, [&](const Entry& entry) { result = encode(entry, context); });
        return result;
    };
    configuration.getTimeline = [provider, encode](const TimelineProviderContext& context) {
        EncodedTimeline result;
        provider.getTimeline(context, [&](const Timeline<Entry>& timeline) {
            for (const auto& entry : timeline.entries) {
                result.entries.push_back(encode(entry, context));
                if (result.entries.size() > 1) shareEqualContent(result.entries.end()[-2], result.entries.back());
            }
            result.policy = timeline.policy;
        });
        return result;
    };
    return configuration;
}

}  // namespace platform
