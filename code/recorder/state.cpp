#include "state.h"

#include "../ui/frame.h"
#include "../ui/panel.h"
#include "app.h"

void state_switch(AppStateId next) {
    const AppStateEntry &entry = app_states[next];
    if (entry.enter && !entry.enter()) {
        if (next == APP_STATE_IDLE) return;
        return state_switch(APP_STATE_IDLE);
    }
    FrameFunction = entry.frame;
    frame_show(&app, app_mode());
    panel_draw(&app, app_mode());
    os_get_cursor_position(&app.last_cursor_x, &app.last_cursor_y);
    app.pressed_element = ELEMENT_NONE;
}

void state_quit(void) { FrameFunction = nullptr; }

AppMode app_mode(void) {
    for (const AppStateEntry &entry : app_states)
        if (entry.frame == FrameFunction) return entry.mode;
    return APP_MODE_IDLE;
}
