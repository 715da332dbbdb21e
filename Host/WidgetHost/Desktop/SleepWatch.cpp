#include "Host/WidgetHost/Desktop/SleepWatch.hpp"

namespace widgethost::desktop {

SleepWatch::~SleepWatch() {
    sd_bus_slot_unref(match_);
    sd_bus_flush_close_unref(bus_);
}

bool SleepWatch::start(sd_event* loop, std::function<void()> resumed) {
    resumed_ = std::move(resumed);
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return false;
    // Only logind may say the machine slept; anyone else's signal of that name is ignored.
    if (sd_bus_match_signal_async(bus, &match_, "org.freedesktop.login1", "/org/freedesktop/login1",
                                  "org.freedesktop.login1.Manager", "PrepareForSleep", handlePrepareForSleep, nullptr,
                                  this) < 0 ||
        sd_bus_attach_event(bus, loop, SD_EVENT_PRIORITY_NORMAL) < 0) {
        match_ = sd_bus_slot_unref(match_);
        sd_bus_flush_close_unref(bus);
        return false;
    }
    bus_ = bus;
    return true;
}

int SleepWatch::handlePrepareForSleep(sd_bus_message* signal, void* self, sd_bus_error*) {
    auto* watch = static_cast<SleepWatch*>(self);
    int goingToSleep = 0;
    if (sd_bus_message_read(signal, "b", &goingToSleep) < 0) return 0;
    if (!goingToSleep && watch->resumed_) watch->resumed_();
    return 0;
}

}  // namespace widgethost::desktop
