// The virtual desktop: the union of the view's monitors, in the system's
// screen coordinates (negative left of or above the main monitor on Windows).
#pragma once

#include "view.h"

// How many monitors the view holds; at least 1.
i32 desktop_monitor_count(const UiView *view);
// A monitor's outer bounds; index 0 is the main monitor.
OsRect desktop_monitor(const UiView *view, i32 index);
// Whether the pixel lies on some monitor.
bool desktop_contains(const UiView *view, i32 x, i32 y);
// Moves the pixel to the nearest pixel on some monitor (the main one wins a tie).
void desktop_clamp_point(const UiView *view, i32 *x, i32 *y);
// The monitor that holds the largest part of the rectangle; the main one when
// none holds any of it.
i32 desktop_monitor_holding(const UiView *view, OsRect rect);
// Whether some monitor holds a part of the rectangle.
bool desktop_overlaps(const UiView *view, OsRect rect);
// The bounding box of the monitors the rectangle overlaps (the main monitor
// when it overlaps none); rect null: of all monitors.
OsRect desktop_span(const UiView *view, const OsRect *rect);
