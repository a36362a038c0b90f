// Classifying the polled cursor into a control of the panel or a grab zone
// of the region, and the cursor shape that goes with each.
#pragma once

#include "../os/os.h"

typedef u32 ElementId;
enum : u32 {
    ELEMENT_NONE = 0,
    ELEMENT_EDGE_TOP = 1,
    ELEMENT_EDGE_BOTTOM = 2,
    ELEMENT_EDGE_LEFT = 3,
    ELEMENT_EDGE_RIGHT = 4,
    ELEMENT_CORNER_TOP_LEFT = 5,
    ELEMENT_CORNER_TOP_RIGHT = 6,
    ELEMENT_CORNER_BOTTOM_LEFT = 7,
    ELEMENT_CORNER_BOTTOM_RIGHT = 8,
    ELEMENT_PANEL = 11,
    ELEMENT_RECORD = 12,
    ELEMENT_FRAME_HIDDEN = 13,
    ELEMENT_FRAME_BORDER = 14,
    ELEMENT_FRAME_GUIDES = 15,
    ELEMENT_LOCK_REGION = 16,
    ELEMENT_DRAW_MOUSE = 17,
    ELEMENT_AUDIO = 18,
    ELEMENT_FPS_DOWN = 19,
    ELEMENT_FPS_UP = 20,
    ELEMENT_DELAY_DOWN = 21,
    ELEMENT_DELAY_UP = 22,
    ELEMENT_OPEN_OUTPUT = 23,
    ELEMENT_MOVE_REGION = 24,
    ELEMENT_MINIMISE = 25,
    ELEMENT_CLOSE = 26,
};

// The panel's control at (dx, dy) in the control window's client pixels;
// ELEMENT_PANEL off every control, never ELEMENT_NONE.
ElementId hit_test_panel_at(i32 dx, i32 dy);
// hit_test_panel_at for last_cursor relative to app.control_window's client area.
ElementId hit_test_panel(void);
// The grab zone around the region under last_cursor, or ELEMENT_NONE.
ElementId hit_test_zones(void);
// The idle state's test: the panel inside the control window's client
// rectangle, else ELEMENT_NONE while the region is locked, else the zones.
ElementId hit_test(void);
// Derives region_x/y/w/h from the two corners, then the four zone sizes.
void update_zone_sizes(void);
// The cursor shape for an element; -1 for ELEMENT_NONE (leave it unchanged).
i32 cursor_for_element(ElementId id);
// os_set_cursor with cursor_for_element(id); nothing for ELEMENT_NONE.
void set_cursor_for(ElementId id);
