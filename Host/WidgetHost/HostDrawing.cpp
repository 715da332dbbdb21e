// Drawing the placed widgets: on the screen's windows when there is one; else headless, one PNG per
// widget, rewritten only when its picture changed, and once a second while it shows a live timer.
#include <algorithm>
#include <cmath>

#include "Host/WidgetHost/Host.hpp"
#include "Host/WidgetHost/Log.hpp"
#include "Host/WidgetHost/Picture.hpp"
#include "Platform/System/Files.hpp"

namespace widgethost {
namespace {

// Pictures are redrawn every second while a timer shows; nobody reads their placed tree.
constexpr auto skipped = platform::views::PlacedBoxes::skipped;

using platform::Date;

std::uint64_t usecAt(Date date) {
    return static_cast<std::uint64_t>(std::ceil(std::max(0.0, date.millisecondsSince1970) * 1000));
}

}  // namespace

std::filesystem::path Host::picturePath(const std::string& id) const { return options_.outputDirectory / (id + ".png"); }

void Host::draw(WidgetSlot& widget) {
    Date now = wallClockNow();
    auto index = entryShownAt(widget.entries, now);
    widget.shownIndex = index;
    scheduleEntryChange(widget, now);

    const auto* view = index && widget.views[*index] ? &*widget.views[*index] : nullptr;
    if (screen_) {
        // The window draws itself and keeps its timers ticking; the host only keeps the layout for
        // presses by label and for listing.
        widget.layout = view ? std::optional(platform::views::layOut(*view, widget.placed.family, now, skipped))
                             : std::nullopt;
        widget.hasLiveTimers = false;
        screen_->show(widget.placed, titleOf(widget), view);
        return;
    }
    if (!view) {
        // An entry without a view shows nothing; an old picture would be a lie.
        widget.layout.reset();
        widget.hasLiveTimers = false;
        if (widget.picture) {
            std::error_code error;
            std::filesystem::remove(picturePath(widget.placed.id), error);
            widget.picture.reset();
        }
        updateTicker();
        return;
    }

    widget.layout = platform::views::layOut(*view, widget.placed.family, now, skipped);
    widget.hasLiveTimers = widget.layout->hasLiveTimers;
    auto picture = paintPicture(*view, {widget.placed.family, options_.scale, options_.appearance, now});
    auto print = picture ? std::optional(fingerprint(*picture)) : std::nullopt;
    auto png = print && print != widget.picture ? encodePng(*picture) : std::nullopt;
    if (!picture || (print != widget.picture && !png)) {
        log(LogLevel::warning, "widget ", widget.placed.id, ": the picture could not be made");
    } else if (png) {
        auto path = picturePath(widget.placed.id);
        if (platform::writeAtomically(path, *png)) {
            widget.picture = print;
            if (drawn_) drawn_(widget.placed.id, path.string());
        } else {
            log(LogLevel::warning, "widget ", widget.placed.id, ": cannot write ", path.string());
        }
    }
    updateTicker();
}

void Host::scheduleEntryChange(WidgetSlot& widget, Date now) {
    widget.entryTimer.reset();
    auto next = nextEntryChange(widget.entries, now);
    if (!next) return;
    std::string id = widget.placed.id;
    widget.entryTimer = detail::addTimerAt(loop_, CLOCK_REALTIME, usecAt(*next), 1000, [this, id] {
        if (auto* w = widgetNamed(id)) draw(*w);
    });
}

void Host::updateTicker() {
    bool needed = std::any_of(widgets_.begin(), widgets_.end(), [](const auto& w) { return w->hasLiveTimers; });
    if (!needed) {
        ticker_.reset();
        return;
    }
    if (ticker_) return;
    // Just after the next whole second, so that a timer text turns over when the second does.
    double ms = wallClockNow().millisecondsSince1970;
    Date next = Date::fromMilliseconds(std::floor(ms / 1000) * 1000 + 1000 + 5);
    ticker_ = detail::addTimerAt(loop_, CLOCK_REALTIME, usecAt(next), 1000, [this] { tick(); });
}

void Host::tick() {
    ticker_.reset();
    for (auto& widget : widgets_)
        if (widget->hasLiveTimers) draw(*widget);
    updateTicker();
}

}  // namespace widgethost
