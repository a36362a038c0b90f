// The region's rules: snapping, clamping, moving, ordering the corners and
// the grab zones' sizes. The axis rules are pure; the rest applies them to
// the app's corners.
#pragma once

#include "../os/os.h"

// Snaps the second corner so that the size is a positive multiple of r (r >= 2)
// when first < second; otherwise leaves it.
void region_snap_axis(i32 first, i32 *second, i32 r);
// Shifts the corners a..b by d, keeping their distance, stopping at low and high - 1.
void region_move_axis(i32 *a, i32 *b, i32 d, i32 low, i32 high);
inline void region_move_axis(i32 *a, i32 *b, i32 d, i32 size) { region_move_axis(a, b, d, 0, size); }
// Swaps a and b when b < a.
void region_order_axis(i32 *a, i32 *b);
// The pixels from a to b inclusive, in either order, saturated at INT32_MAX.
i32 region_length(i32 a, i32 b);
// How deep a grab zone reaches into a side of this length: the share of the
// length, at most the metric.
i32 region_zone_depth(i32 metric, f64 share, i32 length);

// Puts the app's corners back in order (x0 <= x1, y0 <= y1), as after every release.
void region_order_corners(void);
// Moves each corner to the nearest pixel on a monitor.
void region_clamp(void);
// Moves the region by the cursor's offset, keeping its size, within the
// desktop's bounds, then shifts it so that both corners lie on monitors.
void region_move(i32 dx, i32 dy);
// Whether both corners lie on monitors.
bool region_on_desktop(void);
// After the monitors changed: a region on none of them moves onto the main
// one, keeping its size where it fits; then the corners are clamped.
void region_fit_desktop(void);
// Derives region_x/y/w/h from the two corners, then the four zone sizes.
void update_zone_sizes(void);
