#pragma once

#include <string>
#include <vector>

#include "Platform/Views/Layout.hpp"
#include "Platform/Views/WidgetMetrics.hpp"
#include "Widget/Model/WidgetSnapshot.hpp"
#include "tests/Platform/Views/FakeTextMeasurer.hpp"

// Helpers for the Kelvo view tests: snapshots to vary, and layouts with the fake measurer.
namespace kelvo::testing {

namespace views = platform::views;

inline platform::WidgetEnvironment environment(platform::WidgetFamily family = platform::WidgetFamily::systemSmall,
                                               platform::WidgetRenderingMode mode = platform::WidgetRenderingMode::fullColor) {
    return {family, mode};
}

/// Application running, user logged in, online, nothing running, no recent entries, English texts.
inline WidgetSnapshot onlineSnapshot(Date updatedAt = {}) {
    WidgetSnapshot s;
    s.updatedAt = updatedAt;
    s.appRunning = true;
    s.loggedIn = true;
    s.offline = false;
    s.strings = {"Start tracking", "Stop tracking", "Today", "Recent", "Your recent tracking shows up here",
                 "Not tracking", "No description", "Open Kelvo to see your timer",
                 "Log in to Kelvo to start tracking", "Offline"};
    return s;
}

inline views::Layout layOutView(const views::View& view, platform::WidgetFamily family = platform::WidgetFamily::systemSmall,
                                Date now = {}) {
    views::LayoutOptions options;
    options.size = views::widgetSize(family);
    options.contentMargin = views::widgetContentMargin;
    options.now = now;
    return views::layOut(view, options, views::testing::fakeTextMeasurer());
}

template <class Command>
std::vector<Command> commands(const views::Layout& layout) {
    std::vector<Command> out;
    for (const auto& c : layout.commands)
        if (const auto* x = std::get_if<Command>(&c)) out.push_back(*x);
    return out;
}

inline std::vector<views::PlacedBox> boxes(const views::Layout& layout, const std::string& kind) {
    std::vector<views::PlacedBox> out;
    for (const auto& b : layout.boxes)
        if (b.kind == kind) out.push_back(b);
    return out;
}

inline const views::draw::Text* textCommand(const views::Layout& layout, const std::string& text) {
    for (const auto& c : layout.commands)
        if (const auto* t = std::get_if<views::draw::Text>(&c); t && t->text == text) return t;
    return nullptr;
}

inline const views::draw::Symbol* symbolCommand(const views::Layout& layout, const std::string& name) {
    for (const auto& c : layout.commands)
        if (const auto* s = std::get_if<views::draw::Symbol>(&c); s && s->name == name) return s;
    return nullptr;
}

/// The shape drawn right before a command that lies within it: a symbol's disc, a label's pill.
inline const views::draw::Shape* shapeBehind(const views::Layout& layout, const views::Rect& frame) {
    const views::draw::Shape* found = nullptr;
    for (const auto& c : layout.commands) {
        if (const auto* s = std::get_if<views::draw::Shape>(&c)) {
            const auto& f = s->frame;
            if (f.x <= frame.x && f.y <= frame.y && f.x + f.width >= frame.x + frame.width &&
                f.y + f.height >= frame.y + frame.height)
                found = s;
        }
        if (const auto* sym = std::get_if<views::draw::Symbol>(&c); sym && sym->frame == frame) return found;
        if (const auto* t = std::get_if<views::draw::Text>(&c); t && t->frame == frame) return found;
    }
    return nullptr;
}

}  // namespace kelvo::testing
