// Test helpers for the screen capture source: its status, its start, and the
// real ffmpeg reading its pipe.
#pragma once

#include <functional>
#include <string>

#include "os/os.h"

static inline OsCaptureStatus status_of(OsCapture *capture) {
    OsCaptureStatus status;
    os_capture_status(capture, &status);
    return status;
}

// Polls until the capture leaves STARTING, at most 20 s, running between()
// (a repaint) each time.
static inline OsCaptureStatus wait_started(OsCapture *capture, const std::function<void()> &between = [] {}) {
    for (i32 i = 0; i < 400 && status_of(capture).state == OS_CAPTURE_STARTING; i++) {
        between();
        os_sleep_ms(50);
    }
    return status_of(capture);
}

// ffmpeg reading the capture's pipe into output with the output options.
static inline std::string encoder_command(const OsCaptureStatus &s, const char *options, const std::string &output) {
    char input[512];
    os_format(input, (i32)sizeof input, "-f rawvideo -pix_fmt bgr0 -video_size %ix%i -framerate %i -i \"%s\"",
              s.width, s.height, s.frame_rate, s.pipe_path);
    return std::string("ffmpeg -y -loglevel error ") + input + " " + options + " \"" + output + "\"";
}

// Reads what the process prints until it exits, at most `seconds`.
static inline bool wait_exit(OsProcess *process, i32 seconds) {
    char drain[4096];
    for (i32 i = 0; i < seconds * 20 && os_process_is_running(process); i++) {
        os_process_read(process, sizeof drain, drain);
        os_sleep_ms(50);
    }
    return !os_process_is_running(process);
}
