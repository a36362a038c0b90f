#include "layout.h"

#include "../ui/frame.h"
#include "../ui/hit_test.h"
#include "../ui/panel.h"
#include "app.h"
#include "region.h"
#include "state.h"

void relayout(ElementId cursor_element) {
    update_zone_sizes();
    frame_show(&app, app_mode());
    grab_place_and_draw(&app);
    panel_place(&app, &app.panel_x, &app.panel_y);
    panel_draw(&app, app_mode());
    set_cursor_for(cursor_element);
}

void redraw_values(void) {
    if (app.frame_style != 0) frame_draw(&app);
    panel_draw(&app, app_mode());
}
