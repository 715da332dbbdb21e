#include "Host/WidgetHost/Desktop/SharedLoop.hpp"

#include <glib.h>

namespace widgethost::desktop {
namespace {

struct EventSource {
    GSource source;
    sd_event* event;
    GMainLoop* loop;
    int failure;
};

EventSource* self(GSource* source) { return reinterpret_cast<EventSource*>(source); }

// sd-event arms its timers while preparing, so preparing runs before every poll, and a source that
// is already pending is dispatched without polling.
gboolean prepare(GSource* source, gint* timeout) {
    *timeout = -1;
    auto* s = self(source);
    if (sd_event_get_state(s->event) == SD_EVENT_PENDING) return TRUE;
    if (sd_event_get_state(s->event) != SD_EVENT_INITIAL) return FALSE;
    int r = sd_event_prepare(s->event);
    if (r < 0) s->failure = r;
    return r != 0;
}

gboolean check(GSource* source) {
    auto* s = self(source);
    if (sd_event_get_state(s->event) != SD_EVENT_ARMED) return sd_event_get_state(s->event) == SD_EVENT_PENDING;
    int r = sd_event_wait(s->event, 0);
    if (r < 0) s->failure = r;
    return r != 0;
}

gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
    auto* s = self(source);
    if (s->failure < 0) {
        g_main_loop_quit(s->loop);
        return G_SOURCE_REMOVE;
    }
    if (sd_event_get_state(s->event) == SD_EVENT_PENDING) {
        int r = sd_event_dispatch(s->event);
        if (r < 0) s->failure = r;
    }
    if (s->failure < 0 || sd_event_get_state(s->event) == SD_EVENT_FINISHED) {
        g_main_loop_quit(s->loop);
        return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
}

GSourceFuncs functions{prepare, check, dispatch, nullptr, nullptr, nullptr};

}  // namespace

int runSharedLoop(sd_event* event) {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    GSource* source = g_source_new(&functions, sizeof(EventSource));
    auto* s = self(source);
    s->event = event;
    s->loop = loop;
    s->failure = 0;
    g_source_add_unix_fd(source, sd_event_get_fd(event), G_IO_IN);
    g_source_attach(source, nullptr);

    g_main_loop_run(loop);

    int failure = s->failure;
    g_source_destroy(source);
    g_source_unref(source);
    g_main_loop_unref(loop);
    if (failure < 0) return failure;
    int code = 0;
    if (int r = sd_event_get_exit_code(event, &code); r < 0) return r;
    return code;
}

}  // namespace widgethost::desktop
