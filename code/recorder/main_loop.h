// The fixed-rate frame loop: its timing, the state it runs, and the program.
#pragma once

#include "../ui/view.h"

// The program's state is the function this points to; null quits.
typedef void FrameProc(void);
extern FrameProc *FrameFunction;

struct FrameTiming {
    i64 now_ticks;  // counter at the start of the current frame
    i32 delta_us;   // since the start of the previous frame
    u64 total_us;
    u64 total_ms;   // total_us / 1000
    i32 delta_ms;   // this frame's total_ms minus the previous one's
    i32 period_us;  // 1000000 / frame_rate
    i32 frame_rate; // the main monitor's refresh rate, at least 30
};
extern FrameTiming frame_timing;

// Sets the rate (at least 30) and the period, and starts counting at now.
void frame_timing_start(FrameTiming *timing, i32 refresh_rate, i64 now_ticks);
// Advances to a frame starting at now_ticks. delta_ms comes from the running
// total, so the deltas always add up to total_ms.
void frame_timing_advance(FrameTiming *timing, i64 now_ticks);

// The state the drawing shows for the current FrameFunction.
AppMode app_mode(void);

// The program: opens the six windows, runs the loop, saves the state.
// 1 when a window could not be opened, else 0.
int app_main(void);
void app_event_callback(OsEvent *event);
