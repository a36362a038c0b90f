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
    // The pointer is not read here: its last poll stays, so a move made
    // while the switch ran is seen by the next frame's poll, which updates
    // the hover (a read here would swallow the move and leave it stale).
    app.pressed_element = ELEMENT_NONE;
}

void state_quit(void) { FrameFunction = nullptr; }

AppMode app_mode(void) {
    for (const AppStateEntry &entry : app_states)
        if (entry.frame == FrameFunction) return entry.mode;
    return APP_MODE_IDLE;
}
