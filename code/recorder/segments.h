// A recording from its start to its stop, cut into segments by its pauses:
// each stretch that records is one encoder job writing a working file of its
// own, and the finishing step joins them. A segment's job starts in
// segment_start and ends in segment_end, each the one place for it: whatever
// else a segment needs (a capture source feeding the encoder) is started
// just before the encoder there and stopped just after it.
#pragma once

#include "encoder.h"

// Names the recording and reserves its first working file; false (said on
// the panel) when it cannot be recorded.
bool recording_open(void);
// From recording_open until recording_close.
bool recording_is_open(void);
// Hands the recorded segments to the finishing step, or says why there are
// none, and forgets the recording. Its segment has ended. A share copy
// follows a recording the user stopped, unless quitting.
void recording_close(bool quitting);
// The recorded time so far (paused stretches left out), and the working
// files' size.
i64 recording_time_ms(void);
i64 recording_bytes(void);
// While paused: rewrites the segment list every second, so that a start of
// Vornby elsewhere (sharing the folder) sees the recording is still alive.
void recording_keep_alive(void);

// Starts the next segment's encoder into its own working file (waiting for
// the last one to end first); false (said on the panel) when it could not.
bool segment_start(void);
// A segment's encoder runs: recording, or ending after segment_stop.
bool segment_running(void);
// Asks the segment to end: with sound, its picture ends now and "q" follows
// once the sound has caught up; without, "q" now. Once.
void segment_stop(void);
// segment_stop was asked.
bool segment_stopping(void);

enum SegmentStep : u8 {
    SEGMENT_NONE = 0,    // no encoder runs
    SEGMENT_RUNNING = 1,
    SEGMENT_ENDED = 2,   // it exited during this step: segment_end has run
    SEGMENT_LOST = 3,    // its output pipe failed: it was killed and ended
};
// Once a frame: reads the encoder's output, sends the delayed "q", and ends
// the segment when the encoder has exited.
SegmentStep segment_step(void);
// Asks the segment to end and waits for it as the quit does: while it makes
// progress, silence_ms at most without any, total_ms in all, then kills it;
// how it ended. ENCODER_FINISHED when none ran.
EncoderEnd segment_wait(i32 silence_ms, i32 total_ms);
// The crash hook's: asks the encoder to finish and gives it wait_ms.
void segment_crash_stop(i32 wait_ms);
