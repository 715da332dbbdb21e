#include "Host/WidgetHost/detail/EventSource.hpp"

namespace widgethost::detail {
namespace {

using Callback = std::function<void()>;

int fire(sd_event_source*, uint64_t, void* userdata) {
    // sd-event frees a source that its own callback released only after the callback returns, so
    // the function object stays valid here.
    (*static_cast<Callback*>(userdata))();
    return 0;
}

void destroy(void* userdata) { delete static_cast<Callback*>(userdata); }

EventSourcePtr attach(int result, sd_event_source* source, Callback* callback) {
    if (result < 0) {
        delete callback;
        return nullptr;
    }
    sd_event_source_set_destroy_callback(source, destroy);
    return EventSourcePtr{source};
}

}  // namespace

EventSourcePtr addTimerAt(sd_event* loop, clockid_t clock, std::uint64_t usec, std::uint64_t accuracyUsec,
                          std::function<void()> callback) {
    auto* function = new Callback(std::move(callback));
    sd_event_source* source = nullptr;
    int r = sd_event_add_time(loop, &source, clock, usec, accuracyUsec, fire, function);
    return attach(r, source, function);
}

EventSourcePtr addTimerIn(sd_event* loop, std::uint64_t usec, std::function<void()> callback) {
    auto* function = new Callback(std::move(callback));
    sd_event_source* source = nullptr;
    int r = sd_event_add_time_relative(loop, &source, CLOCK_MONOTONIC, usec, 1000, fire, function);
    return attach(r, source, function);
}

}  // namespace widgethost::detail
