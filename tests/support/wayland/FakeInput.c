/* wl-fake-input: moves and presses a pointer and presses keys on KWin through its fake-input
 * protocol, for tests that need real input without a device. KWin offers the protocol only when it
 * runs with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1.
 *
 *   wl-fake-input move 100 80 click right-click key Down key Return wait 200
 *
 * Positions are in KWin's global logical coordinates. Every action ends with a round trip, so the
 * compositor has handled it before the next one. */
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "InputSteps.h"

#include "fake-input-client-protocol.h"

static struct org_kde_kwin_fake_input* fakeInput;
static uint32_t fakeInputVersion;

static void onGlobal(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version) {
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0) {
        fakeInputVersion = version < 4 ? version : 4;  // 4 brings keys
        fakeInput = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, fakeInputVersion);
    }
}

static void onGlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data, (void)registry, (void)name;
}

static const struct wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

static int usage(void) {
    fprintf(stderr,
            "usage: wl-fake-input ACTION...\n"
            "actions: move X Y | down | up | click | right-click | key Down|Up|Return|Escape|Tab | wait MS\n");
    return 2;
}

static void press(uint32_t button, int pressed, int release, int key) {
    void (*send)(struct org_kde_kwin_fake_input*, uint32_t, uint32_t) =
        key ? org_kde_kwin_fake_input_keyboard_key : org_kde_kwin_fake_input_button;
    if (pressed) send(fakeInput, button, WL_POINTER_BUTTON_STATE_PRESSED);
    if (pressed && release) sleepMs(30);
    if (release) send(fakeInput, button, WL_POINTER_BUTTON_STATE_RELEASED);
}

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "wl-fake-input: cannot connect to the Wayland display\n");
        return 1;
    }
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, NULL);
    wl_display_roundtrip(display);
    if (!fakeInput) {
        fprintf(stderr, "wl-fake-input: the compositor offers no fake input\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fakeInput, "wl-fake-input", "tests");

    static const struct {
        const char* name;
        uint32_t code;
    } keys[] = {{"Down", KEY_DOWN}, {"Up", KEY_UP}, {"Return", KEY_ENTER}, {"Escape", KEY_ESC}, {"Tab", KEY_TAB}};
    for (int i = 1; i < argc; ++i) {
        int waited = waitStep(argc, argv, &i);
        if (waited < 0) return usage();
        if (waited) continue;
        const char* action = argv[i];
        long x = 0, y = 0;
        if (strcmp(action, "move") == 0) {
            if (i + 2 >= argc || !number(argv[i + 1], &x) || !number(argv[i + 2], &y) || x < 0 || y < 0)
                return usage();
            org_kde_kwin_fake_input_pointer_motion_absolute(fakeInput, wl_fixed_from_int((int)x),
                                                            wl_fixed_from_int((int)y));
            i += 2;
        } else if (strcmp(action, "key") == 0) {
            if (i + 1 >= argc || fakeInputVersion < 4) return usage();
            size_t k = 0;
            while (k < sizeof keys / sizeof keys[0] && strcmp(keys[k].name, argv[i + 1]) != 0) ++k;
            if (k == sizeof keys / sizeof keys[0]) return usage();
            press(keys[k].code, 1, 1, 1);
            i += 1;
        } else if (strcmp(action, "down") == 0 || strcmp(action, "up") == 0) {
            press(BTN_LEFT, action[0] == 'd', action[0] == 'u', 0);
        } else if (strcmp(action, "click") == 0 || strcmp(action, "right-click") == 0) {
            press(action[0] == 'c' ? BTN_LEFT : BTN_RIGHT, 1, 1, 0);
        } else {
            return usage();
        }
        wl_display_roundtrip(display);
        sleepMs(20);  // clients see one event group at a time, as from a hand
    }
    org_kde_kwin_fake_input_destroy(fakeInput);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
