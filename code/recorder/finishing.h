// The finishing step: a recording's working files — fragmented MP4, which
// plays up to its last second however the encoder ends — become the ordinary
// MP4 the user gets (the same packets copied, the index in front), checked
// before the working files go. It runs in the background, one recording at a
// time, like the share copy: the program answers and can record again.
#pragma once

#include "../os/os.h"

enum FinishOrigin : u8 {
    FINISH_STOPPED = 0,   // the recording was stopped (by the user, or the program quitting)
    FINISH_DIED = 1,      // the encoder ended by itself in the middle of the recording
    FINISH_RECOVERED = 2, // found at start-up, left by a run that never finished it
};

enum { FINISH_WORKING_MAX = 64 };

struct FinishRequest {
    const char *const *working; // the working files in recording order
    i32 working_count;          // 1 .. FINISH_WORKING_MAX
    const char *finished;       // the name the user expects; the next free one when it is taken
    FinishOrigin origin;
    bool share_copy;            // a share copy of the result follows
    i32 fps, duration_ms;       // the share copy's
};

// Queues the recording; it starts at the next finishing_step when none runs.
void finishing_queue(const FinishRequest *request);
// Every frame, in every state: watches the running step, starts the next.
void finishing_step(void);
// A recording is being finished or waits for it.
bool finishing_busy(void);
// At exit: finishes what was stopped while ffmpeg makes progress, up to a
// limit; what is left keeps its working files for the next start.
void finishing_quit(void);
// At start-up: queues the working files in the recordings folder, left by a
// run that never finished them (a power cut, a killed session).
void finishing_recover_leftovers(void);
