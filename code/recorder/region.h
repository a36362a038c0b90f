// The region's rules: snapping, clamping, moving, ordering the corners and
// the grab zones' sizes. The axis rules are pure; the rest applies them to
// the app's corners.
#pragma once

#include "../os/os.h"

// Snaps the second corner so that the size is a positive multiple of r (r >= 2)
// when first < second; otherwise leaves it.
void region_snap_axis(i32 first, i32 *second, i32 r);
// Shifts the corners a..b by d, keeping their distance, stopping at 0 and size - 1.
void region_move_axis(i32 *a, i32 *b, i32 d, i32 size);
// Swaps a and b when b < a.
void region_order_axis(i32 *a, i32 *b);
// value kept within 0 .. size - 1.
i32 region_clamp_coordinate(i32 value, i32 size);
// The pixels from a to b inclusive, in either order, saturated at INT32_MAX.
i32 region_length(i32 a, i32 b);
// How deep a grab zone reaches into a side of this length: the share of the
// length, at most the metric.
i32 region_zone_depth(i32 metric, f64 share, i32 length);

// Puts the app's corners back in order (x0 <= x1, y0 <= y1), as after every release.
void region_order_corners(void);
// Keeps every corner coordinate on the main monitor.
void region_clamp(void);
// Derives region_x/y/w/h from the two corners, then the four zone sizes.
void update_zone_sizes(void);
