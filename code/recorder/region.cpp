#include "region.h"

#include <math.h>

#include "app.h"

void region_snap_axis(i32 first, i32 *second, i32 r) {
    if (r < 2 || first >= *second) return;
    // Single precision, halves away from zero, as the size readout expects.
    i32 n = (i32)roundf((f32)(*second - first) / (f32)r);
    *second = first + (n > 1 ? n : 1) * r - 1;
}

void region_move_axis(i32 *a, i32 *b, i32 d, i32 size) {
    if (d > 0) {
        i32 s = *a + d >= size ? size - 1 - *a : d;
        if (*b + s >= size) {
            *a += size - 1 - *b;
            *b = size - 1;
        } else {
            *a += s;
            *b += s;
        }
    } else if (d < 0) {
        i32 s = *a + d < 0 ? -*a : d;
        if (*b + s < 0) {
            *a -= *b;
            *b = 0;
        } else {
            *b += s;
            *a = *a + d > 0 ? *a + d : 0;
        }
    }
}

void region_order_axis(i32 *a, i32 *b) {
    if (*b >= *a) return;
    i32 t = *a;
    *a = *b;
    *b = t;
}

i32 region_clamp_coordinate(i32 value, i32 size) {
    if (value >= size) value = size - 1;
    if (value < 0) value = 0;
    return value;
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
    app.region_x0 = region_clamp_coordinate(app.region_x0, app.screen_width);
    app.region_x1 = region_clamp_coordinate(app.region_x1, app.screen_width);
    app.region_y0 = region_clamp_coordinate(app.region_y0, app.screen_height);
    app.region_y1 = region_clamp_coordinate(app.region_y1, app.screen_height);
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
