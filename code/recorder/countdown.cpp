#include "countdown.h"

#include "app.h"
#include "main_loop.h"
#include "recording.h"

void countdown_frame(void) {
    if (app.input.hotkey) {
        return_to_idle();
        return;
    }
    app.countdown_ms += frame_timing.delta_ms;
    if (app.countdown_ms >= 0) {
        recording_start();
        return;
    }
    ElementId pressed = busy_input();
    if (pressed == ELEMENT_RECORD) return_to_idle();
    else if (pressed == ELEMENT_CLOSE) FrameFunction = nullptr;
}
