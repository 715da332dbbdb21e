/* The bridge's header compiled as plain C, calling every function of the library.
 * Usage: c_interface_test <granted group> <its expected container path> */
#include <kelvo_widget_bridge.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

int main(int argc, char** argv) {
    char* path;
    int32_t count;

    if (argc != 3) {
        fprintf(stderr, "usage: %s <granted group> <expected path>\n", argv[0]);
        return 2;
    }

    path = kelvo_widget_container_path(argv[1]);
    check(path != NULL && strcmp(path, argv[2]) == 0, "the granted group's container path");
    if (path) printf("container: %s\n", path);
    kelvo_widget_free_string(path);

    check(kelvo_widget_container_path("group.not.granted") == NULL, "no path for a group not granted");
    check(kelvo_widget_container_path(NULL) == NULL, "no path for NULL");
    kelvo_widget_free_string(NULL);

    kelvo_widget_reload_all_timelines();

    check(kelvo_widget_placed_count("TimerWidget", 0) == -1, "a zero timeout does not wait");
    check(kelvo_widget_placed_count(NULL, 100) == -1, "NULL kind");
    count = kelvo_widget_placed_count("TimerWidget", 200);
    check(count >= -1, "a count or -1");
    printf("placed: %d\n", (int)count);

    return failures == 0 ? 0 : 1;
}
