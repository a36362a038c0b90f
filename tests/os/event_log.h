// Test helpers for window events: a log of every event delivered, and a pump
// that waits for a condition (never a fixed sleep).
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

static inline std::vector<OsEvent> events_of(OsWindow *window, u8 kind) {
    std::vector<OsEvent> found;
    for (const OsEvent &event : events)
        if (event.window == window && event.kind == kind) found.push_back(event);
    return found;
}
