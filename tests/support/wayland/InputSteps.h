/* What the input clients for tests share: reading their command lines and pausing between steps. */
#ifndef KELVO_TESTS_WAYLAND_INPUT_STEPS_H
#define KELVO_TESTS_WAYLAND_INPUT_STEPS_H

#include <stdlib.h>
#include <string.h>
#include <time.h>

static inline void sleepMs(long ms) {
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000};
    nanosleep(&ts, NULL);
}

/* Whether `text` is a whole decimal number, stored in `out`. */
static inline int number(const char* text, long* out) {
    char* end = NULL;
    *out = strtol(text, &end, 10);
    return text[0] != '\0' && *end == '\0';
}

/* Runs "wait MS" when argv[*i] is one and steps past its number: 1 when it waited, 0 when argv[*i]
 * is another action, -1 when the number is missing or bad. */
static inline int waitStep(int argc, char** argv, int* i) {
    long ms = 0;
    if (strcmp(argv[*i], "wait") != 0) return 0;
    if (*i + 1 >= argc || !number(argv[*i + 1], &ms) || ms < 0) return -1;
    sleepMs(ms);
    *i += 1;
    return 1;
}

#endif
