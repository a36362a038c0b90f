// The region frame: four dashed edge windows outside the region and the grab
// window over the zone under the cursor.
#pragma once

#include "../os/os.h"

// Places the four edge windows for the frame style and the program state.
void frame_place(void);
// Fills the edge windows with the dash pattern and presents them.
void frame_draw(void);
// frame_place, then frame_draw unless the style hides the frame: what every
// change of state or region does.
void frame_show(void);
// Moves the grab window over the hovered zone (or hides it), draws, presents.
void grab_place_and_draw(void);
// The outer rectangles of the top, bottom, left and right edge windows.
void frame_edge_rects(OsRect rects[4]);
// The grab window's rectangle for the hovered element.
OsRect grab_rect(u32 element);
