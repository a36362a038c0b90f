// The frame loop's clock: how long each frame took, summed exactly.
#pragma once

#include "../os/os.h"

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
// A frame never counts as longer than this (or shorter than 0).
enum { FRAME_DELTA_MAX_US = 1000000 };

// Advances to a frame starting at now_ticks. delta_ms comes from the running
// total, so the deltas always add up to total_ms; delta_us is clamped to
// 0..FRAME_DELTA_MAX_US.
void frame_timing_advance(FrameTiming *timing, i64 now_ticks);
