#include "hit_test.h"

#include "panel.h"

ElementId hit_test_panel_at(i32 dx, i32 dy, AppMode mode) {
    for (const PanelControl &control : panel_controls) {
        const OsRect &r = control.hit;
        if (!panel_control_shown(control, mode)) continue;
        if (dx >= r.x && dx < r.x + r.width && dy >= r.y && dy < r.y + r.height) return control.element;
    }
    return ELEMENT_PANEL;
}

static i32 clamp_i32(i64 value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (i32)value;
}

ElementId hit_test_panel_window(const OsWindow *panel, i32 x, i32 y, AppMode mode) {
    if (!panel) return ELEMENT_PANEL;
    return hit_test_panel_at(clamp_i32((i64)x - panel->client_x), clamp_i32((i64)y - panel->client_y), mode);
}

ElementId hit_test_at(const UiView *view, i32 x, i32 y) {
    const OsWindow *panel = view->control_window;
    if (panel && x >= panel->client_x && (i64)x < (i64)panel->client_x + panel->client_width &&
        y >= panel->client_y && (i64)y < (i64)panel->client_y + panel->client_height)
        return hit_test_panel_window(panel, x, y, APP_MODE_IDLE);
    if (view->region_locked) return ELEMENT_NONE;
    return hit_test_zones_at(view, x, y);
}

static f32 absf(f32 v) { return v < 0 ? -v : v; }

ElementId hit_test_zones_at(const UiView *view, i32 x, i32 y) {
    // 64-bit throughout: the corners come unchecked from the state file, and
    // the zone bounds must not overflow for any of them.
    i64 hw = view->region_w / 2, hh = view->region_h / 2;
    i64 dx = (i64)x - ((i64)view->region_x + hw);
    i64 dy = (i64)y - ((i64)view->region_y + hh);
    // A zero half-size gives an infinite or NaN ratio, compared by IEEE rules.
    f32 fx = (f32)dx / (f32)hw;
    f32 fy = (f32)dy / (f32)hh;
    bool top = fy < 0, left = fx < 0;
    i64 ciw = view->corner_inner_w, cih = view->corner_inner_h;
    i64 eiw = view->edge_inner_w, eih = view->edge_inner_h;
    i64 large = view->frame_metric_large, small = view->frame_metric_small;

    bool in_x = left ? dx < ciw - hw : dx > hw - ciw;
    bool in_y = top ? dy < cih - hh : dy > hh - cih;
    if (in_x && in_y) {
        bool near_x = left ? dx > -hw - large : dx < hw + large;
        bool near_y = top ? dy > -hh - large : dy < hh + large;
        if (!near_x || !near_y) return ELEMENT_NONE;
        if (top) return left ? ELEMENT_CORNER_TOP_LEFT : ELEMENT_CORNER_TOP_RIGHT;
        return left ? ELEMENT_CORNER_BOTTOM_LEFT : ELEMENT_CORNER_BOTTOM_RIGHT;
    }

    if (absf(fx) > absf(fy)) {
        if (left) return -hw - small < dx && dx < eiw - hw ? ELEMENT_EDGE_LEFT : ELEMENT_NONE;
        return hw - eiw < dx && dx < hw + small ? ELEMENT_EDGE_RIGHT : ELEMENT_NONE;
    }
    if (top) return -hh - small < dy && dy < eih - hh ? ELEMENT_EDGE_TOP : ELEMENT_NONE;
    return hh - eih < dy && dy < hh + small ? ELEMENT_EDGE_BOTTOM : ELEMENT_NONE;
}

i32 cursor_for_element(ElementId id) {
    switch (id) {
    case ELEMENT_NONE: return -1;
    case ELEMENT_EDGE_TOP:
    case ELEMENT_EDGE_BOTTOM: return OS_CURSOR_RESIZE_NS;
    case ELEMENT_EDGE_LEFT:
    case ELEMENT_EDGE_RIGHT: return OS_CURSOR_RESIZE_WE;
    case ELEMENT_CORNER_TOP_LEFT:
    case ELEMENT_CORNER_BOTTOM_RIGHT: return OS_CURSOR_RESIZE_NWSE;
    case ELEMENT_CORNER_TOP_RIGHT:
    case ELEMENT_CORNER_BOTTOM_LEFT: return OS_CURSOR_RESIZE_NESW;
    case ELEMENT_PANEL: return OS_CURSOR_ARROW;
    case ELEMENT_MOVE_REGION: return OS_CURSOR_MOVE;
    default: return OS_CURSOR_HAND;
    }
}
