#include "hit_test.h"

#include "../recorder/app.h"

// The panel's columns from left to right: each runs up to last_dx inclusive;
// a control is hit only within its rows, elsewhere the column is the panel.
struct PanelColumn {
    i32 last_dx;
    i32 top, bottom;
    ElementId id;
};

static const PanelColumn panel_columns[] = {
    {3, 0, -1, ELEMENT_PANEL},
    {37, 4, 37, ELEMENT_RECORD},
    {45, 0, -1, ELEMENT_PANEL},
    {71, 8, 33, ELEMENT_FRAME_HIDDEN},
    {96, 8, 33, ELEMENT_FRAME_BORDER},
    {121, 8, 33, ELEMENT_FRAME_GUIDES},
    {146, 8, 33, ELEMENT_LOCK_REGION},
    {158, 0, -1, ELEMENT_PANEL},
    {184, 8, 33, ELEMENT_DRAW_MOUSE},
    {210, 8, 33, ELEMENT_AUDIO},
    {287, 0, -1, ELEMENT_PANEL},
    {307, 8, 27, ELEMENT_FPS_DOWN},
    {327, 8, 27, ELEMENT_FPS_UP},
    {411, 0, -1, ELEMENT_PANEL},
    {431, 8, 27, ELEMENT_DELAY_DOWN},
    {451, 8, 27, ELEMENT_DELAY_UP},
    {463, 0, -1, ELEMENT_PANEL},
    {489, 8, 33, ELEMENT_OPEN_OUTPUT},
    {501, 0, -1, ELEMENT_PANEL},
    {527, 8, 33, ELEMENT_MOVE_REGION},
    {553, 8, 33, ELEMENT_MINIMISE},
    {579, 8, 33, ELEMENT_CLOSE},
};

ElementId hit_test_panel_at(i32 dx, i32 dy) {
    for (const PanelColumn &column : panel_columns) {
        if (dx > column.last_dx) continue;
        return dy >= column.top && dy <= column.bottom ? column.id : ELEMENT_PANEL;
    }
    return ELEMENT_PANEL;
}

static i32 clamp_i32(i64 value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (i32)value;
}

ElementId hit_test_panel(void) {
    const OsWindow *panel = app.control_window;
    if (!panel) return ELEMENT_PANEL;
    return hit_test_panel_at(clamp_i32((i64)app.last_cursor_x - panel->client_x),
                             clamp_i32((i64)app.last_cursor_y - panel->client_y));
}

ElementId hit_test(void) {
    const OsWindow *panel = app.control_window;
    i64 cx = app.last_cursor_x, cy = app.last_cursor_y;
    if (panel && cx >= panel->client_x && cx < (i64)panel->client_x + panel->client_width &&
        cy >= panel->client_y && cy < (i64)panel->client_y + panel->client_height)
        return hit_test_panel();
    if (app.region_locked) return ELEMENT_NONE;
    return hit_test_zones();
}

static f32 absf(f32 v) { return v < 0 ? -v : v; }

ElementId hit_test_zones(void) {
    // 64-bit throughout: the corners come unchecked from the state file, and
    // the zone bounds must not overflow for any of them.
    i64 hw = app.region_w / 2, hh = app.region_h / 2;
    i64 dx = (i64)app.last_cursor_x - ((i64)app.region_x + hw);
    i64 dy = (i64)app.last_cursor_y - ((i64)app.region_y + hh);
    // A zero half-size gives an infinite or NaN ratio, compared by IEEE rules.
    f32 fx = (f32)dx / (f32)hw;
    f32 fy = (f32)dy / (f32)hh;
    bool top = fy < 0, left = fx < 0;
    i64 ciw = app.corner_inner_w, cih = app.corner_inner_h;
    i64 eiw = app.edge_inner_w, eih = app.edge_inner_h;
    i64 large = app.frame_metric_large, small = app.frame_metric_small;

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

static i32 min_i32(i32 a, i32 b) { return a < b ? a : b; }
static i32 max_i32(i32 a, i32 b) { return a > b ? a : b; }

void update_zone_sizes(void) {
    i32 x_min = min_i32(app.region_x0, app.region_x1);
    i32 y_min = min_i32(app.region_y0, app.region_y1);
    i64 x_max = max_i32(app.region_x0, app.region_x1);
    i64 y_max = max_i32(app.region_y0, app.region_y1);
    app.region_x = x_min;
    app.region_y = y_min;
    // Corners far apart (only a corrupt state file puts them there) would
    // overflow the width; it saturates instead.
    app.region_w = clamp_i32(x_max - x_min + 1);
    app.region_h = clamp_i32(y_max - y_min + 1);
    app.corner_inner_w = min_i32(app.frame_metric_large, (i32)(0.3 * app.region_w));
    app.corner_inner_h = min_i32(app.frame_metric_large, (i32)(0.3 * app.region_h));
    app.edge_inner_w = min_i32(app.frame_metric_small, (i32)(0.5 * app.region_w));
    app.edge_inner_h = min_i32(app.frame_metric_small, (i32)(0.5 * app.region_h));
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
