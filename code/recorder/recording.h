// The recording state: starting the encoder on the region, draining it, and
// stopping it.
#pragma once

#include "../ui/view.h"

// Names the output file, starts the encoder and enters the recording state;
// back to idle when the encoder cannot start.
void recording_start(void);
void recording_frame(void);
// Ends a running encoder when the program quits: asks it to finish with
// "q\n" (once), waits up to 5 s, and kills it only if it has not exited.
void recording_quit(void);

// Shared with the countdown. The pointer poll and panel hover of a busy
// state; the control a press of this frame acts on (where the press
// happened), also when its release came with it, else ELEMENT_NONE.
ElementId busy_input(void);
// Back to the idle state: frame, panel, and a fresh pointer position.
void return_to_idle(void);
