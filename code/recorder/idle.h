// The idle state: hover, the panel's buttons, and dragging the region.
#pragma once

#include "../ui/view.h"

void idle_frame(void);
// Polls the pointer; a new position sets moved and changed and is stored in
// last_cursor. Every state's frame starts with it.
void poll_cursor(void);
// The full update after a change of the region.
void relayout(ElementId cursor_element);
// Redraws what shows the panel's values: the frame (when shown) and the panel.
void redraw_values(void);
