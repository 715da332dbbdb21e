/*
 * kelvo_widget_bridge.h: the Kelvo desktop widget as its host application reaches it.
 *
 * The host application links libKelvoWidgetBridge (pkg-config module "KelvoWidgetBridge", CMake
 * package "KelvoWidgetBridge") and calls these four functions to reload the widget's timelines,
 * find the shared application-group container and count the placed widgets.
 *
 * The calling program is known by its manifest, "<executable>.bundle.json" beside its executable:
 * the bundle identifier names the application to the widget host, and the entitlement
 * "com.apple.security.application-groups" lists the groups whose containers it may use. Without a
 * bundle identifier the reload does nothing and the count is -1.
 *
 * Strings are NUL-terminated UTF-8. Every function may be called from any thread, never throws and
 * never aborts the process: failures come back as NULL or -1. The library has no state and needs
 * no initialisation.
 */
#ifndef KELVO_WIDGET_BRIDGE_H
#define KELVO_WIDGET_BRIDGE_H

#include <stdint.h>

#if defined(KELVO_WIDGET_BRIDGE_BUILDING)
#define KELVO_WIDGET_API __attribute__((visibility("default")))
#else
#define KELVO_WIDGET_API
#endif

#define KELVO_WIDGET_BRIDGE_VERSION_MAJOR 1

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Asks the widget host to rebuild the timelines of the calling application's widget extensions, so
 * that a snapshot just rewritten reaches the screen. Waits for no reply, and for the bus at most
 * 100 ms; nothing is reported back, and a missing session bus or widget host is silently ignored.
 */
KELVO_WIDGET_API void kelvo_widget_reload_all_timelines(void);

/*
 * The absolute path, without a trailing slash, of the shared container of application group
 * `group`, or NULL when the calling program's manifest does not grant that group, the name could
 * leave the containers directory ("", ".", "..", a slash) or memory runs out. The directory need
 * not exist yet. Accepts NULL (returns NULL).
 * Ownership: the caller owns the returned string and releases it with kelvo_widget_free_string.
 */
KELVO_WIDGET_API char* kelvo_widget_container_path(const char* group);

/*
 * Releases a string returned by kelvo_widget_container_path. Accepts NULL (does nothing).
 * Ownership: takes `s`; it must not be used afterwards.
 */
KELVO_WIDGET_API void kelvo_widget_free_string(char* s);

/*
 * The number of placed widgets of kind `kind` (exact, case-sensitive match) among the calling
 * application's widget extensions: 0 or more, or -1 when there is no answer (no bus or host, the
 * host failed, or it did not answer within `timeout_ms` milliseconds). Blocks the calling thread
 * for at most `timeout_ms` milliseconds plus scheduling delay, connecting to the bus included; a
 * late answer is discarded.
 * A `timeout_ms` of 0 or less does not wait and does not ask: it returns -1 at once.
 * Accepts NULL `kind` (returns -1).
 * Ownership: `kind` stays the caller's; the library keeps its own copy while it needs one.
 */
KELVO_WIDGET_API int32_t kelvo_widget_placed_count(const char* kind, int32_t timeout_ms);

#ifdef __cplusplus
}
#endif

#endif /* KELVO_WIDGET_BRIDGE_H */
