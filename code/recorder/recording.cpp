#include "recording.h"

#include <string.h>

#include "../ui/frame.h"
#include "../ui/hit_test.h"
#include "../ui/panel.h"
#include "app.h"
#include "app_files.h"
#include "encoder_command.h"
#include "idle.h"
#include "main_loop.h"
#include "output_name.h"
#include "pointer.h"
#include "region.h"
#include "share_copy.h"

// The encoder's output is drained every frame; its last 4 KiB are kept so a
// failing encoder can say why.
enum { DRAIN_SIZE = 4096 };
static char encoder_tail[DRAIN_SIZE];
static i32 encoder_tail_length;
// The process record is valid only from a successful start until its kill.
static bool encoder_started;
// What the share copy needs of the recording being made.
static TextBuilder recording_path;
static i64 recording_started_ms;
static i32 recording_fps;

static void keep_tail(const char *bytes, i32 count) {
    if (count >= DRAIN_SIZE) {
        memcpy(encoder_tail, bytes + count - DRAIN_SIZE, DRAIN_SIZE);
        encoder_tail_length = DRAIN_SIZE;
        return;
    }
    i32 keep = encoder_tail_length + count > DRAIN_SIZE ? DRAIN_SIZE - count : encoder_tail_length;
    memmove(encoder_tail, encoder_tail + encoder_tail_length - keep, (size_t)keep);
    memcpy(encoder_tail + keep, bytes, (size_t)count);
    encoder_tail_length = keep + count;
}

// Reads what is waiting; -1 when the pipe failed.
static i32 drain(void) {
    char buffer[DRAIN_SIZE];
    i32 got = os_process_read(&app.encoder_process, DRAIN_SIZE, buffer);
    if (got > 0) keep_tail(buffer, got);
    return got;
}

void return_to_idle(void) {
    FrameFunction = idle_frame;
    frame_show(&app, app_mode());
    panel_draw(&app, app_mode());
    os_get_cursor_position(&app.last_cursor_x, &app.last_cursor_y);
    app.pressed_element = ELEMENT_NONE;
}

ElementId busy_input(void) {
    poll_cursor();
    ElementId pressed = ELEMENT_NONE;
    if (app.input.pressed) {
        app.input.changed = true;
        pressed = app.pressed_element = hit_test_panel_pressed();
    }
    if (app.input.released) {
        app.input.changed = true;
        app.pressed_element = ELEMENT_NONE;
        region_order_corners();
    }
    if (app.input.moved) {
        ElementId hovered = hit_test_panel();
        if (hovered != app.hover_element) {
            app.hover_element = hovered;
            panel_draw(&app, app_mode());
            set_cursor_for(hovered);
        }
    }
    return pressed;
}

void recording_start(void) {
    TextBuilder path = builder_create(256);
    TextBuilder command = builder_create(500);
    OsDateTime time = os_local_time();
    output_path_choose(&path, &time);

    // The encoder cannot create the folder itself and would fail silently.
    StrSlice output_folder = app_output_folder();
    if (output_folder.data) os_make_directory(output_folder);
    os_free_string(&output_folder);

    i32 length = encoder_command_format(nullptr, 0, path.data ? path.data : "");
    bool formatted = builder_reserve(&command, length);
    if (formatted) {
        encoder_command_format(command.data, length + 1, path.data ? path.data : "");
        command.length = length;
    }
    os_print("[[[%s]]]\n", formatted ? command.data : "");

    encoder_tail_length = 0;
    encoder_started = formatted && os_process_start(&app.encoder_process, builder_slice(&command), false) == 0;
    if (!encoder_started) {
        FrameFunction = idle_frame;
    } else {
        FrameFunction = recording_frame;
        frame_show(&app, app_mode());
        panel_draw(&app, app_mode());
        os_get_cursor_position(&app.last_cursor_x, &app.last_cursor_y);
        app.countdown_ms = 0;
        builder_clear(&recording_path);
        builder_append(&recording_path, path.length, path.data);
        recording_started_ms = os_time_milliseconds();
        recording_fps = app.fps;
    }
    os_free(path.data);
    os_free(command.data);
}

// Kills the encoder and forgets it, ready for the next recording.
static void encoder_end(void) {
    os_process_kill(&app.encoder_process);
    encoder_started = false;
    app.stop_requested = false;
}

// The encoder is gone: collect what it printed last and say why if it failed.
// A file finished on the user's stop gets its share copy, unless the program
// is ending.
static void encoder_finished(bool quitting) {
    while (drain() > 0) {
    }
    i32 code = 0;
    bool known = os_process_exit_code(&app.encoder_process, &code);
    if (known && code == 0 && app.stop_requested && !quitting && recording_path.data)
        share_copy_queue(recording_path.data, recording_fps, (i32)(os_time_milliseconds() - recording_started_ms));
    if (known && code != 0) {
        os_print("* ERROR * The encoder ended with exit code %i; its last output follows.\n", code);
        if (encoder_tail_length > 0) {
            os_print("%.*s", encoder_tail_length, encoder_tail);
            if (encoder_tail[encoder_tail_length - 1] != '\n') os_print("\n");
        }
    }
    encoder_end();
}

static void request_stop(void) {
    if (app.stop_requested) return;
    os_process_write(&app.encoder_process, 2, "q\n");
    app.stop_requested = true;
}

void recording_frame(void) {
    if (!os_process_is_running(&app.encoder_process)) {
        encoder_finished(false);
        return_to_idle();
        return;
    }
    if (drain() < 0) {
        // Without its output pipe the encoder would block, so end it rather
        // than leave it behind, and start the next recording clean.
        os_print("ERROR!!\n");
        encoder_end();
        return_to_idle();
        return;
    }
    if (app.input.hotkey) request_stop();
    ElementId pressed = busy_input();
    if (pressed == ELEMENT_RECORD) request_stop();
    else if (pressed == ELEMENT_CLOSE) FrameFunction = nullptr; // recording_quit ends the encoder
}

void recording_quit(void) {
    if (!encoder_started) return;
    if (os_process_is_running(&app.encoder_process)) {
        request_stop();
        // A killed encoder leaves an MP4 without its index, which no player opens.
        i64 deadline = os_time_milliseconds() + 5000;
        while (os_process_is_running(&app.encoder_process) && os_time_milliseconds() < deadline) {
            drain();
            os_sleep_ms(10);
        }
        if (os_process_is_running(&app.encoder_process)) {
            os_print("* WARNING * The encoder did not finish within 5 s and was stopped.\n");
            encoder_end();
            return;
        }
    }
    encoder_finished(true);
}
