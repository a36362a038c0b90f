// The program's states and the one door between them. The state is the
// function FrameFunction points to; every switch goes through state_switch,
// which also does what a switch needs, so no state names another's frame.
#pragma once

#include "../ui/view.h"

typedef void FrameProc(void);
// The state's frame, run once per frame by the main loop; null quits.
extern FrameProc *FrameFunction;

enum AppStateId : u8 {
    APP_STATE_STARTUP = 0,
    APP_STATE_IDLE = 1,
    APP_STATE_COUNTDOWN = 2,
    APP_STATE_RECORDING = 3,
    APP_STATE_PAUSED = 4,
    APP_STATE_COUNT
};

struct AppStateEntry {
    FrameProc *frame;
    // Run before the switch; false keeps the program out of the state (it
    // said why), and the door goes to idle instead. Null: always enters.
    bool (*enter)(void);
    AppMode mode; // what the drawing shows for it
};
// Every state in AppStateId order. Defined by the main loop, the one file
// that knows them all, so that the states need not include each other.
extern const AppStateEntry app_states[APP_STATE_COUNT];

// Enters the state: its enter step, then the frame windows and the panel
// redrawn for it, and any held control let go.
void state_switch(AppStateId next);
// Ends the frame loop after this frame.
void state_quit(void);
// The state the drawing shows for the current FrameFunction.
AppMode app_mode(void);
