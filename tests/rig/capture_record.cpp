// The Wayland desktop's own screenshot and recorder, through the capture
// source and the real ffmpeg (X's GetImage cannot read the root of XWayland).
//
//   capture_record X Y W H FPS SECONDS OUT.mp4   records, then prints what came
//   capture_record X Y W H 0 0 OUT.png           one picture of the screen now
//
// The compositor sends pictures only when something is drawn, so a
// screenshot flashes a 1x1 window in the screen's bottom-right corner first.
// Exit code 0 when the file was made.
#include <stdlib.h>
#include <string.h>

#include "../os/capture_util.h"
#include "../os/slices.h"

int main(int argc, char **argv) {
    os_init();
    if (argc != 8) {
        os_print("usage: capture_record X Y W H FPS SECONDS OUT.mp4 | X Y W H 0 0 OUT.png\n");
        return 2;
    }
    OsRect region = {atoi(argv[1]), atoi(argv[2]), atoi(argv[3]), atoi(argv[4])};
    i32 rate = atoi(argv[5]), seconds = atoi(argv[6]);
    const char *out = argv[7];
    bool screenshot = seconds == 0;
    OsCaptureSettings settings = {region, screenshot ? 30 : rate, false, {0, nullptr}};
    OsCapture *capture = os_capture_start(&settings);
    OsCaptureStatus s = wait_started(capture);
    if (s.state != OS_CAPTURE_READY) {
        os_print("capture: %s\n", s.message);
        os_capture_stop(capture);
        return 1;
    }
    const char *options = screenshot ? "-frames:v 1 -update 1" : "-c:v libx264rgb -preset ultrafast -qp 0";
    OsProcess encoder = {};
    if (os_process_start(&encoder, S(encoder_command(s, options, out)), false) != 0) return 1;
    if (screenshot) {
        OsWindow *flash = os_open_window(1, 1, text("damage"), OS_WINDOW_PIXEL_BUFFER | OS_WINDOW_BORDERLESS |
                                                                     OS_WINDOW_TOPMOST | OS_WINDOW_TOOL);
        for (i32 i = 0; i < 10; i++) {
            os_move_window(flash, 1919, 1079, 1, 1);
            os_present_window(flash);
            os_pump_messages();
            os_sleep_ms(50);
            os_move_window(flash, 0, 0, 0, 0);
            os_pump_messages();
            os_sleep_ms(50);
            if (!os_process_is_running(&encoder)) break;
        }
    } else {
        i64 start = os_time_milliseconds();
        while (os_time_milliseconds() - start < (i64)seconds * 1000 && status_of(capture).state == OS_CAPTURE_READY)
            os_sleep_ms(20);
        s = status_of(capture);
        os_process_write(&encoder, 2, "q\n");
    }
    i32 code = -1;
    bool done = wait_exit(&encoder, 20) && os_process_exit_code(&encoder, &code) && code == 0;
    os_process_kill(&encoder);
    os_capture_stop(capture);
    if (!screenshot)
        os_print("%i s at %i fps asked: %llu pictures from the desktop (%.1f/s), %llu frames written (%.1f/s)\n",
                 seconds, rate, s.frames_received, (f64)s.frames_received / seconds, s.frames_written,
                 (f64)s.frames_written / seconds);
    if (!done) os_print("capture: the encoder failed (exit %i)\n", code);
    return done ? 0 : 1;
}
