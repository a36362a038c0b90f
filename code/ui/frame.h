// The region frame: four dashed edge windows outside the region and the grab
// window over the zone under the cursor.
#pragma once

#include "view.h"

// The outer rectangles of the top, bottom, left and right edge windows: none
// when hidden, a border around the region, or guides across the monitors the
// region lies on (while idle only; a countdown or recording shows the border).
void frame_edge_rects(const UiView *view, AppMode mode, OsRect rects[4]);
// Places the four edge windows for the frame style and the program state.
void frame_place(const UiView *view, AppMode mode);
// Fills the edge windows with the dash pattern and presents them.
void frame_draw(const UiView *view);
// frame_place, then frame_draw unless the style hides the frame: what every
// change of state or region does.
void frame_show(const UiView *view, AppMode mode);
// The grab window's rectangle for an element's zone; empty for other elements.
OsRect grab_rect(const UiView *view, ElementId element);
// Moves the grab window over the hovered zone (or hides it), draws, presents.
void grab_place_and_draw(const UiView *view);
