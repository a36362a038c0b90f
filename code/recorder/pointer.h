// What lies under the pointer's last polled position (last_cursor): the UI's
// hit tests over the app's region and panel.
#pragma once

#include "../ui/view.h"

// The panel's control under last_cursor, relative to the control window's
// client area, among those the mode shows.
ElementId hit_test_panel(AppMode mode = APP_MODE_IDLE);
// The grab zone around the region under last_cursor, or ELEMENT_NONE.
ElementId hit_test_zones(void);
// The idle state's test at last_cursor: the panel inside the control
// window's client rectangle, else ELEMENT_NONE while the region is locked,
// else the zones.
ElementId hit_test(void);
// The same tests at this frame's press (pressed_at), which a warped pointer
// may have reached before any poll saw it there.
ElementId hit_test_pressed(void);
ElementId hit_test_panel_pressed(AppMode mode);
