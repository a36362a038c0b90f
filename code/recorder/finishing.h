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

// A recording's segments: one working file per stretch between pauses.
enum { FINISH_WORKING_MAX = 1000 };

struct FinishRequest {
    const char *const *working; // the working files in recording order
    i32 working_count;          // 1 .. FINISH_WORKING_MAX
    const char *finished;       // the name the user expects; the next free one when it is taken
    FinishOrigin origin;
    bool share_copy;            // a share copy of the result follows
    i32 fps, duration_ms;       // the share copy's
    // Where each working file is cut (its picture's end, microseconds), or
    // -1 for its whole length; null: none is cut.
    const i64 *cut_us;
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
// run that never finished them (a power cut, a killed session), the segments
// of each recording together, in order, cut where its segment list says.
void finishing_recover_leftovers(void);
// The cuts that the list text (the concat demuxer's, as concat_list_text
// writes it) gives the working files, matched by file name; -1 where it
// gives none.
void finishing_cuts_from_list(StrSlice list, const char *const *working, i32 count, i64 *cut_us);
