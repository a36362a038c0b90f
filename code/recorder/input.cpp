#include "input.h"

#include "../ui/hit_test.h"
#include "../ui/panel.h"
#include "app.h"
#include "messages.h"
#include "pointer.h"
#include "region.h"
#include "state.h"

void poll_cursor(void) {
    i32 cx, cy;
    os_get_cursor_position(&cx, &cy);
    if (cx == app.last_cursor_x && cy == app.last_cursor_y) return;
    app.input.changed = app.input.moved = true;
    app.last_cursor_x = cx;
    app.last_cursor_y = cy;
}

ElementId busy_input(void) {
    poll_cursor();
    ElementId pressed = ELEMENT_NONE;
    if (app.input.pressed) {
        app.input.changed = true;
        pressed = app.pressed_element = hit_test_panel_pressed(app_mode());
        if (pressed >= ELEMENT_PANEL) message_dismiss();
    }
    if (app.input.released) {
        app.input.changed = true;
        app.pressed_element = ELEMENT_NONE;
        region_order_corners();
    }
    if (app.input.moved) {
        ElementId hovered = hit_test_panel(app_mode());
        if (hovered != app.hover_element) {
            app.hover_element = hovered;
            panel_draw(&app, app_mode());
            set_cursor_for(hovered);
        }
    }
    return pressed;
}
