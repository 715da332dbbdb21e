// Drawing the placed widgets: the entry due now, laid out once and handed to the screen.
#include "Host/WidgetHost/Host.hpp"

namespace widgethost {
namespace {

// Widgets are redrawn every second while a timer shows; nobody reads their placed tree.
constexpr auto skipped = platform::views::PlacedBoxes::skipped;

}  // namespace

using platform::Date;

void Host::draw(WidgetSlot& widget) {
    Date now = timers_->now();
    auto index = entryShownAt(widget.entries, now);
    bool sameEntry = index && index == widget.shownIndex && widget.layout;
    widget.shownIndex = index;
    const auto* view = index && widget.views[*index] ? &*widget.views[*index] : nullptr;
    // Laid out once per entry here; the screen paints this layout, and presses and listings read
    // it. A second passing only moves its live timers on.
    auto moved = view && sameEntry ? platform::views::advanceLiveTimers(*widget.layout, now) : std::nullopt;
    if (moved) widget.layout = std::move(moved);
    else if (view) widget.layout = platform::views::layOut(*view, record(widget).family, now, skipped);
    else widget.layout.reset();
    screen_.show(shown(widget), titleOf(widget), view, widget.layout ? &*widget.layout : nullptr);
    scheduler_.showing(widget.id, widget.entries, widget.layout && widget.layout->hasLiveTimers);
}

}  // namespace widgethost
