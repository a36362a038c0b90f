// The program: the fixed-rate frame loop over the states, and its end.
#pragma once

#include "../os/os.h"

// The program: reads the command line, opens the six windows, runs the
// loop, saves the state. 1 when a window could not be opened, 2 for an
// unknown option, else 0.
int app_main(int argc, char **argv);
// Ends the recording (the encoder finishes its file) and saves the state;
// once per run, however the run ends.
void app_finish(void);
void app_event_callback(OsEvent *event);
