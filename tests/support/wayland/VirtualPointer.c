/* wl-virtual-pointer: moves, presses and releases a pointer on a wlroots compositor (Sway) through
 * its virtual-pointer protocol, for tests that need real input without a device.
 *
 *   wl-virtual-pointer --extent 1280x720 move 100 80 down move 400 80 up click right-click wait 200
 *
 * Positions are in the compositor's layout coordinates within the given extent (the logical size
 * of the output layout). Every action ends with a frame and a round trip, so the compositor has
 * handled it before the next one; one run is one device, so a button held by "down" stays held. */
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "InputSteps.h"

#include "virtual-pointer-client-protocol.h"

struct globals {
    struct wl_seat* seat;
    struct zwlr_virtual_pointer_manager_v1* manager;
};

static void onGlobal(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version) {
    struct globals* g = data;
    (void)version;
    if (strcmp(interface, wl_seat_interface.name) == 0 && !g->seat)
        g->seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        g->manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
}

static void onGlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data, (void)registry, (void)name;
}

static const struct wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

static uint32_t nowMs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

static int usage(void) {
    fprintf(stderr,
            "usage: wl-virtual-pointer --extent WxH ACTION...\n"
            "actions: move X Y | down | up | click | right-down | right-up | right-click | wait MS\n");
    return 2;
}

int main(int argc, char** argv) {
    unsigned width = 0, height = 0;
    if (argc < 3 || strcmp(argv[1], "--extent") != 0 || sscanf(argv[2], "%ux%u", &width, &height) != 2 ||
        width == 0 || height == 0)
        return usage();

    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "wl-virtual-pointer: cannot connect to the Wayland display\n");
        return 1;
    }
    struct globals g = {0};
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &g);
    wl_display_roundtrip(display);
    if (!g.manager) {
        fprintf(stderr, "wl-virtual-pointer: the compositor has no virtual pointers\n");
        return 1;
    }
    struct zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.manager, g.seat);

    for (int i = 3; i < argc; ++i) {
        int waited = waitStep(argc, argv, &i);
        if (waited < 0) return usage();
        if (waited) continue;
        const char* action = argv[i];
        long x = 0, y = 0;
        if (strcmp(action, "move") == 0) {
            if (i + 2 >= argc || !number(argv[i + 1], &x) || !number(argv[i + 2], &y) || x < 0 || y < 0 ||
                x > (long)width || y > (long)height)
                return usage();
            zwlr_virtual_pointer_v1_motion_absolute(pointer, nowMs(), (uint32_t)x, (uint32_t)y, width, height);
            i += 2;
        } else {
            static const struct {
                const char* name;
                uint32_t button;
                int press, release;
            } buttons[] = {{"down", BTN_LEFT, 1, 0},        {"up", BTN_LEFT, 0, 1},
                           {"click", BTN_LEFT, 1, 1},       {"right-down", BTN_RIGHT, 1, 0},
                           {"right-up", BTN_RIGHT, 0, 1},   {"right-click", BTN_RIGHT, 1, 1}};
            size_t k = 0;
            while (k < sizeof buttons / sizeof buttons[0] && strcmp(buttons[k].name, action) != 0) ++k;
            if (k == sizeof buttons / sizeof buttons[0]) return usage();
            if (buttons[k].press) {
                zwlr_virtual_pointer_v1_button(pointer, nowMs(), buttons[k].button, WL_POINTER_BUTTON_STATE_PRESSED);
                zwlr_virtual_pointer_v1_frame(pointer);
                wl_display_roundtrip(display);
                if (buttons[k].release) sleepMs(30);
            }
            if (buttons[k].release)
                zwlr_virtual_pointer_v1_button(pointer, nowMs(), buttons[k].button, WL_POINTER_BUTTON_STATE_RELEASED);
        }
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
        sleepMs(20);  // clients see one event group at a time, as from a hand on a mouse
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
