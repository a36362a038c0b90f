// The program: the fixed-rate frame loop over the states, and its end.
#pragma once

#include "../os/os.h"

// The program: opens the six windows, runs the loop, saves the state.
// 1 when a window could not be opened, else 0.
int app_main(void);
// Ends the recording (the encoder finishes its file) and saves the state;
// once per run, however the run ends.
void app_finish(void);
void app_event_callback(OsEvent *event);
