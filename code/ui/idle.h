// The idle state: hover, the panel's buttons, and dragging the region.
#pragma once

#include "hit_test.h"

// The full update after a change of the region.
void relayout(ElementId cursor_element);
// Redraws what shows the panel's values: the frame (when shown) and the panel.
void redraw_values(void);

// Pieces of a drag step, over the app state's corners.
// Snaps the second corner so that the size is a positive multiple of r (r >= 2)
// when first < second; otherwise leaves it.
void region_snap_axis(i32 first, i32 *second, i32 r);
// Polls the pointer; a new position sets moved and changed and is stored in
// last_cursor. Every state's frame starts with it.
void poll_cursor(void);
// The element test (hit_test or hit_test_panel) at the position of this
// frame's press.
ElementId element_pressed(ElementId (*test)(void));
// Puts the corners back in order (x0 <= x1, y0 <= y1), as after every release.
void region_order_corners(void);
// Keeps every corner coordinate on the main monitor.
void region_clamp(void);
// Shifts the corners a..b by d, keeping their distance, stopping at 0 and size - 1.
void region_move_axis(i32 *a, i32 *b, i32 d, i32 size);
