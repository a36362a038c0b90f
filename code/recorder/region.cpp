#include "region.h"

#include <math.h>

#include "../ui/desktop.h"
#include "app.h"

void region_snap_axis(i32 first, i32 *second, i32 r) {
    if (r < 2 || first >= *second) return;
    // Single precision, halves away from zero, as the size readout expects.
    i32 n = (i32)roundf((f32)(*second - first) / (f32)r);
    *second = first + (n > 1 ? n : 1) * r - 1;
}

void region_move_axis(i32 *a, i32 *b, i32 d, i32 low, i32 high) {
    if (d > 0) {
        i32 s = *a + d >= high ? high - 1 - *a : d;
        if (*b + s >= high) {
            *a += high - 1 - *b;
            *b = high - 1;
        } else {
            *a += s;
            *b += s;
        }
    } else if (d < 0) {
        i32 s = *a + d < low ? low - *a : d;
        if (*b + s < low) {
            *a -= *b - low;
            *b = low;
        } else {
            *b += s;
            *a = *a + d > low ? *a + d : low;
        }
    }
}

void region_order_axis(i32 *a, i32 *b) {
    if (*b >= *a) return;
    i32 t = *a;
    *a = *b;
    *b = t;
}

i32 region_length(i32 a, i32 b) {
    // Corners far apart (only a corrupt state file puts them there) would
    // overflow the width; it saturates instead.
    i64 length = (a < b ? (i64)b - a : (i64)a - b) + 1;
    return length > INT32_MAX ? INT32_MAX : (i32)length;
}

i32 region_zone_depth(i32 metric, f64 share, i32 length) {
    i32 part = (i32)(share * length);
    return metric < part ? metric : part;
}

void region_order_corners(void) {
    region_order_axis(&app.region_x0, &app.region_x1);
    region_order_axis(&app.region_y0, &app.region_y1);
}

void region_clamp(void) {
    desktop_clamp_point(&app, &app.region_x0, &app.region_y0);
    desktop_clamp_point(&app, &app.region_x1, &app.region_y1);
}

static void region_shift(i32 dx, i32 dy) {
    app.region_x0 += dx;
    app.region_x1 += dx;
    app.region_y0 += dy;
    app.region_y1 += dy;
}

// Shifts the whole region so that this corner lands on the nearest monitor
// pixel; a region across monitors of different sizes can otherwise be moved
// into the bounding box's corners that no monitor shows.
static void region_pull_corner(i32 x, i32 y) {
    i32 cx = x, cy = y;
    desktop_clamp_point(&app, &cx, &cy);
    region_shift(cx - x, cy - y);
}

void region_move(i32 dx, i32 dy) {
    OsRect bounds = desktop_span(&app, nullptr);
    region_move_axis(&app.region_x0, &app.region_x1, dx, bounds.x, bounds.x + bounds.width);
    region_move_axis(&app.region_y0, &app.region_y1, dy, bounds.y, bounds.y + bounds.height);
    region_pull_corner(app.region_x0, app.region_y0);
    region_pull_corner(app.region_x1, app.region_y1);
}

bool region_on_desktop(void) {
    return desktop_contains(&app, app.region_x0, app.region_y0) &&
           desktop_contains(&app, app.region_x1, app.region_y1);
}

void region_fit_desktop(void) {
    update_zone_sizes();
    OsRect region = {app.region_x, app.region_y, app.region_w, app.region_h};
    if (!desktop_overlaps(&app, region)) {
        OsRect main = desktop_monitor(&app, 0);
        i32 x = region.x, y = region.y;
        if ((i64)x + region.width > (i64)main.x + main.width) x = (i32)((i64)main.x + main.width - region.width);
        if ((i64)y + region.height > (i64)main.y + main.height) y = (i32)((i64)main.y + main.height - region.height);
        if (x < main.x) x = main.x;
        if (y < main.y) y = main.y;
        region_order_corners();
        region_shift(x - region.x, y - region.y);
    }
    region_clamp();
}

void update_zone_sizes(void) {
    app.region_x = app.region_x0 < app.region_x1 ? app.region_x0 : app.region_x1;
    app.region_y = app.region_y0 < app.region_y1 ? app.region_y0 : app.region_y1;
    app.region_w = region_length(app.region_x0, app.region_x1);
    app.region_h = region_length(app.region_y0, app.region_y1);
    app.corner_inner_w = region_zone_depth(app.frame_metric_large, 0.3, app.region_w);
    app.corner_inner_h = region_zone_depth(app.frame_metric_large, 0.3, app.region_h);
    app.edge_inner_w = region_zone_depth(app.frame_metric_small, 0.5, app.region_w);
    app.edge_inner_h = region_zone_depth(app.frame_metric_small, 0.5, app.region_h);
}
