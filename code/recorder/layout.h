// Laying the windows out after the region or a value changed.
#pragma once

#include "../ui/view.h"

// The full update after a change of the region: zone sizes, frame, grab
// window, the panel's place and face, and the cursor for that element.
void relayout(ElementId cursor_element);
// Redraws what shows the panel's values: the frame (when shown) and the panel.
void redraw_values(void);
