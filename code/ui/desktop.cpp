#include "desktop.h"

i32 desktop_monitor_count(const UiView *view) {
    i32 count = view->monitor_count;
    if (count > UI_MONITOR_CAPACITY) count = UI_MONITOR_CAPACITY;
    return count > 0 ? count : 1;
}

OsRect desktop_monitor(const UiView *view, i32 index) {
    if (view->monitor_count <= 0) return OsRect{0, 0, view->screen_width, view->screen_height};
    return view->monitors[index];
}

static i32 clamp_i32(i32 value, i32 low, i32 high) {
    if (value > high) value = high;
    if (value < low) value = low;
    return value;
}

// Right and bottom edges in 64 bits: the bounds come from the system and the
// rectangles from a state file.
static i64 right_of(OsRect r) { return (i64)r.x + r.width; }
static i64 bottom_of(OsRect r) { return (i64)r.y + r.height; }

bool desktop_contains(const UiView *view, i32 x, i32 y) {
    for (i32 i = 0; i < desktop_monitor_count(view); i++) {
        OsRect m = desktop_monitor(view, i);
        if (x >= m.x && x < right_of(m) && y >= m.y && y < bottom_of(m)) return true;
    }
    return false;
}

void desktop_clamp_point(const UiView *view, i32 *x, i32 *y) {
    i64 best_distance = -1;
    i32 best_x = *x, best_y = *y;
    for (i32 i = 0; i < desktop_monitor_count(view); i++) {
        OsRect m = desktop_monitor(view, i);
        if (m.width < 1 || m.height < 1) continue;
        i32 cx = clamp_i32(*x, m.x, (i32)(right_of(m) - 1));
        i32 cy = clamp_i32(*y, m.y, (i32)(bottom_of(m) - 1));
        i64 dx = (i64)cx - *x, dy = (i64)cy - *y;
        // Summed along the axes: squares of 32-bit differences could overflow.
        i64 distance = (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy);
        if (best_distance < 0 || distance < best_distance) {
            best_distance = distance;
            best_x = cx;
            best_y = cy;
        }
    }
    *x = best_x;
    *y = best_y;
}

static i64 overlap_area(OsRect a, OsRect b) {
    i64 left = a.x > b.x ? a.x : b.x, top = a.y > b.y ? a.y : b.y;
    i64 right = right_of(a) < right_of(b) ? right_of(a) : right_of(b);
    i64 bottom = bottom_of(a) < bottom_of(b) ? bottom_of(a) : bottom_of(b);
    return right > left && bottom > top ? (right - left) * (bottom - top) : 0;
}

i32 desktop_monitor_holding(const UiView *view, OsRect rect) {
    i32 best = 0;
    i64 best_area = 0;
    for (i32 i = 0; i < desktop_monitor_count(view); i++) {
        i64 area = overlap_area(desktop_monitor(view, i), rect);
        if (area > best_area) {
            best_area = area;
            best = i;
        }
    }
    return best;
}

bool desktop_overlaps(const UiView *view, OsRect rect) {
    for (i32 i = 0; i < desktop_monitor_count(view); i++)
        if (overlap_area(desktop_monitor(view, i), rect) > 0) return true;
    return false;
}

OsRect desktop_span(const UiView *view, const OsRect *rect) {
    i64 left = 0, top = 0, right = 0, bottom = 0;
    bool any = false;
    for (i32 i = 0; i < desktop_monitor_count(view); i++) {
        OsRect m = desktop_monitor(view, i);
        if (rect && overlap_area(m, *rect) == 0) continue;
        if (!any || m.x < left) left = m.x;
        if (!any || m.y < top) top = m.y;
        if (!any || right_of(m) > right) right = right_of(m);
        if (!any || bottom_of(m) > bottom) bottom = bottom_of(m);
        any = true;
    }
    if (!any) return desktop_monitor(view, 0);
    return OsRect{(i32)left, (i32)top, (i32)(right - left), (i32)(bottom - top)};
}
