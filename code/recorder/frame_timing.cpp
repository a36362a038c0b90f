#include "frame_timing.h"

FrameTiming frame_timing;

void frame_timing_start(FrameTiming *timing, i32 refresh_rate, i64 now_ticks) {
    timing->frame_rate = refresh_rate < 30 ? 30 : refresh_rate;
    timing->period_us = 1000000 / timing->frame_rate;
    timing->now_ticks = now_ticks;
    timing->delta_us = 0;
    timing->total_us = 0;
    timing->total_ms = 0;
    timing->delta_ms = 0;
}

void frame_timing_advance(FrameTiming *timing, i64 now_ticks) {
    i64 previous = timing->now_ticks;
    timing->now_ticks = now_ticks;
    // A suspend or a debugger stop is one long frame, not minutes of
    // countdown or an i32 overflow.
    i64 delta_us = now_ticks > previous ? os_ticks_to_microseconds(now_ticks - previous) : 0;
    timing->delta_us = (i32)(delta_us > FRAME_DELTA_MAX_US ? (i64)FRAME_DELTA_MAX_US : delta_us);
    timing->total_us += (u64)(i64)timing->delta_us;
    u64 total_ms = timing->total_us / 1000;
    timing->delta_ms = (i32)(total_ms - timing->total_ms);
    timing->total_ms = total_ms;
}
