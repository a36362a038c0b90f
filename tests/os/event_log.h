// Test helpers for windows and their events: a log of every event delivered,
// a pump that waits for a condition (never a fixed sleep), and the clean-up
// after a test.
#pragma once

#include <vector>

#include "os/os.h"

static std::vector<OsEvent> events;
static inline void record_event(OsEvent *event) { events.push_back(*event); }

// Pumps messages until the condition holds; false after ten seconds.
template <typename Condition> static bool pump_until(Condition condition) {
    for (int i = 0; i < 2000; i++) {
        os_pump_messages();
        if (condition()) return true;
        os_sleep_ms(5);
    }
    return condition();
}

// Destroys every window the library has open, waits until it lists none,
// and leaves no event callback set.
static inline void close_all(void) {
    i32 count;
    OsWindow **list;
    os_get_windows(&count, nullptr, &list);
    std::vector<OsWindow *> open(list, list + count);
    for (OsWindow *window : open) os_destroy_window(window);
    pump_until([] {
        i32 left;
        os_get_windows(&left, nullptr, nullptr);
        return left == 0;
    });
    os_set_event_callback(nullptr);
}

static inline void fill(OsWindow *window, u32 color) {
    for (i32 i = 0; i < window->pixels.width * window->pixels.height; i++) window->pixels.pixels[i] = color;
}

static inline std::vector<OsEvent> events_of(OsWindow *window, u8 kind) {
    std::vector<OsEvent> found;
    for (const OsEvent &event : events)
        if (event.window == window && event.kind == kind) found.push_back(event);
    return found;
}
