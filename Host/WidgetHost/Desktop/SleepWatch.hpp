#pragma once

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <functional>

// Notices the end of a suspend: logind announces PrepareForSleep(true) before the machine sleeps
// and PrepareForSleep(false) once it runs again, on the system bus. Without a system bus (a
// container, CI) there is nothing to notice and nothing happens.
namespace widgethost::desktop {

class SleepWatch {
public:
    SleepWatch() = default;
    SleepWatch(const SleepWatch&) = delete;
    SleepWatch& operator=(const SleepWatch&) = delete;
    ~SleepWatch();

    /// Connects to the system bus on `loop` and listens; `resumed` runs after every resume. False,
    /// with nothing left behind, when there is no system bus.
    bool start(sd_event* loop, std::function<void()> resumed);

    /// Handles one PrepareForSleep signal; `self` is the watch.
    static int handlePrepareForSleep(sd_bus_message* signal, void* self, sd_bus_error* error);

private:
    sd_bus* bus_ = nullptr;
    sd_bus_slot* match_ = nullptr;
    std::function<void()> resumed_;
};

}  // namespace widgethost::desktop
