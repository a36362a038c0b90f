// Classifying a screen point into a control of the panel or a grab zone of
// the region, and the cursor shape that goes with each.
#pragma once

#include "view.h"

// The panel's control at (dx, dy) in the control window's client pixels,
// among those the mode shows; ELEMENT_PANEL off every control, never
// ELEMENT_NONE.
ElementId hit_test_panel_at(i32 dx, i32 dy, AppMode mode = APP_MODE_IDLE);
// hit_test_panel_at for the screen point (x, y) relative to the panel
// window's client area; ELEMENT_PANEL without a window.
ElementId hit_test_panel_window(const OsWindow *panel, i32 x, i32 y, AppMode mode);
// The grab zone around the view's region at the screen point, or ELEMENT_NONE.
ElementId hit_test_zones_at(const UiView *view, i32 x, i32 y);
// The idle state's test: the panel (its idle controls) inside the control window's client
// rectangle, else ELEMENT_NONE while the region is locked, else the zones.
ElementId hit_test_at(const UiView *view, i32 x, i32 y);
// The cursor shape for an element; -1 for ELEMENT_NONE (leave it unchanged).
i32 cursor_for_element(ElementId id);
// os_set_cursor with cursor_for_element(id); nothing for ELEMENT_NONE.
void set_cursor_for(ElementId id);
