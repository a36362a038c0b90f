#include "countdown.h"

#include "app.h"
#include "frame_timing.h"
#include "input.h"
#include "state.h"

bool countdown_enter(void) {
    app.countdown_ms = -app.delay_ms;
    return true;
}

void countdown_frame(void) {
    if (app.input.hotkey) return state_switch(APP_STATE_IDLE);
    app.countdown_ms += frame_timing.delta_ms;
    if (app.countdown_ms >= 0) return state_switch(APP_STATE_RECORDING);
    ElementId pressed = busy_input();
    if (pressed == ELEMENT_RECORD) state_switch(APP_STATE_IDLE);
    else if (pressed == ELEMENT_CLOSE) state_quit();
}
