#include "pointer.h"

#include "../ui/hit_test.h"
#include "app.h"

ElementId hit_test_panel(AppMode mode) {
    return hit_test_panel_window(app.control_window, app.last_cursor_x, app.last_cursor_y, mode);
}

ElementId hit_test_zones(void) { return hit_test_zones_at(&app, app.last_cursor_x, app.last_cursor_y); }

ElementId hit_test(void) { return hit_test_at(&app, app.last_cursor_x, app.last_cursor_y); }

ElementId hit_test_pressed(void) { return hit_test_at(&app, app.pressed_at_x, app.pressed_at_y); }

ElementId hit_test_panel_pressed(AppMode mode) {
    return hit_test_panel_window(app.control_window, app.pressed_at_x, app.pressed_at_y, mode);
}
