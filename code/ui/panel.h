// The control window: the button strip with its status outline, the value
// fields and the region line, and its placement beside the region.
#pragma once

#include "../os/os.h"

enum { PANEL_WIDTH = 587, PANEL_HEIGHT = 61 };

// Redraws the whole control window from the app state and presents it.
void panel_draw(void);
// Moves the control window beside the region and records panel_x/panel_y.
void panel_place(void);
// The placement rule: below, above, right of the region, over its lower-left
// corner, else left of it.
void panel_position(i32 x, i32 y, i32 w, i32 h, i32 screen_width, i32 screen_height,
                    i32 *panel_x, i32 *panel_y);
