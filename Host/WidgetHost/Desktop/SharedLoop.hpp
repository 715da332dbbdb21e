#pragma once

#include <systemd/sd-event.h>

// GTK needs GLib's main loop and the host lives on sd-event. With windows, GLib's loop drives:
// sd-event's epoll descriptor is one source in it, prepared, polled and dispatched in GLib's own
// three steps, so every sd-event source (bus, timers, signals, child pipes) runs unchanged.
namespace widgethost::desktop {

/// Runs the default GLib main context, with `event` inside it, until `sd_event_exit` is called on
/// `event`. Returns the exit code given there, or a negative errno when sd-event failed.
int runSharedLoop(sd_event* event);

}  // namespace widgethost::desktop
