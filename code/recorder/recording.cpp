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
#include "messages.h"
#include "output_name.h"
#include "pointer.h"
#include "region.h"
#include "startup.h"
#include "share_copy.h"

// The encoder's output is drained every frame; its last 4 KiB are kept so a
// failing encoder can say why.
enum { DRAIN_SIZE = 4096 };
// How long a quit waits for an encoder that shows no sign of progress.
enum { QUIT_SILENCE_LIMIT_MS = 5000 };
// How long a crashing recorder waits for the encoder to finish its file.
enum { CRASH_WAIT_MS = 2000 };
static char encoder_tail[DRAIN_SIZE];
static i32 encoder_tail_length;
// The process record is valid only from a successful start until its kill.
static bool encoder_started;
// The file being recorded, watched while a quit waits for the encoder, and
// what the confirmation and the share copy need of it.
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
        if (pressed >= ELEMENT_PANEL) message_dismiss();
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

// The encoder cannot create the folder itself, and finds out only after it
// started that it cannot write there, and then says so in its own words.
// False, with the message shown, when the recording cannot go there.
static bool output_folder_ready(void) {
    StrSlice folder = app_output_folder();
    if (!folder.data) return true; // no longer path than the file's own: the encoder will say
    bool ready = false;
    // Built whole: a cut path would name some other file, which the check
    // would empty and delete.
    TextBuilder probe = builder_create(folder.length + 32);
    builder_append(&probe, folder.length, folder.data);
    builder_append_text(&probe, "/.vornby-write-test");
    // A user's Videos folder may be missing too.
    if (os_make_directories(folder) != 0) {
        os_print("* ERROR * Could not create the output folder %s\n", folder.data);
        message_show(MESSAGE_ERROR, true, "Could not create the output folder");
    } else if (probe.data && os_write_file(builder_slice(&probe), 0, "") != 0) {
        os_print("* ERROR * Could not write into the output folder %s\n", folder.data);
        message_show(MESSAGE_ERROR, true, "Could not write into the output folder");
    } else {
        if (probe.data) os_delete_file(builder_slice(&probe));
        ready = true;
    }
    os_free(probe.data);
    os_free_string(&folder);
    return ready;
}

void recording_start(void) {
    if (!output_folder_ready()) {
        return_to_idle();
        return;
    }
    TextBuilder path = builder_create(256);
    TextBuilder command = builder_create(500);
    OsDateTime time = os_local_time();
    output_path_choose(&path, &time);

    i32 length = encoder_command_format(nullptr, 0, path.data ? path.data : "");
    bool formatted = builder_reserve(&command, length);
    if (formatted) {
        encoder_command_format(command.data, length + 1, path.data ? path.data : "");
        command.length = length;
    }
    os_print("[[[%s]]]\n", formatted ? command.data : "");
    builder_clear(&recording_path);
    builder_append(&recording_path, path.length, path.data);

    encoder_tail_length = 0;
    encoder_started = formatted && os_process_start_bound(&app.encoder_process, builder_slice(&command), false) == 0;
    if (!encoder_started) {
        // Fully back: the countdown's yellow and the border would say a
        // recording was coming.
        if (!encoder_findable()) message_show(MESSAGE_ERROR, true, "%s", encoder_missing_text());
        else message_show(MESSAGE_ERROR, true, "Could not start %s", encoder_file_name());
        return_to_idle();
    } else {
        recording_started_ms = os_time_milliseconds();
        FrameFunction = recording_frame;
        frame_show(&app, app_mode());
        panel_draw(&app, app_mode());
        os_get_cursor_position(&app.last_cursor_x, &app.last_cursor_y);
        app.countdown_ms = 0;
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

static bool line_break(char c) { return c == '\n' || c == '\r'; }

// The encoder's last line that says something: not blank, not its closing
// "Conversion failed!", and without the "[muxer @ 0x...] " it may lead with.
static StrSlice last_meaningful_line(void) {
    static const char nothing_said[] = "Conversion failed!";
    i32 end = encoder_tail_length;
    while (end > 0) {
        while (end > 0 && (line_break(encoder_tail[end - 1]) || encoder_tail[end - 1] == ' ')) end--;
        i32 begin = end;
        while (begin > 0 && !line_break(encoder_tail[begin - 1])) begin--;
        StrSlice line = {end - begin, encoder_tail + begin};
        if (line.length > 0 && !(line.length == (i64)sizeof nothing_said - 1 &&
                                 memcmp(line.data, nothing_said, sizeof nothing_said - 1) == 0)) {
            const char *close = line.data[0] == '[' ? (const char *)memchr(line.data, ']', (size_t)line.length) : nullptr;
            if (close && close + 2 < line.data + line.length && close[1] == ' ' &&
                memchr(line.data, '@', (size_t)(close - line.data))) {
                line.length -= close + 2 - line.data;
                line.data = (char *)close + 2;
            }
            return line;
        }
        end = begin;
    }
    return StrSlice{0, encoder_tail};
}

// Reads "HH:MM:SS" at text; false when it is not there.
static bool parse_clock(const char *text, const char *end, i32 *seconds) {
    i32 parts[3] = {0, 0, 0};
    for (i32 part = 0; part < 3; part++) {
        if (text >= end || *text < '0' || *text > '9') return false;
        while (text < end && *text >= '0' && *text <= '9' && parts[part] < 1000000) parts[part] = parts[part] * 10 + (*text++ - '0');
        if (part < 2 && (text >= end || *text++ != ':')) return false;
    }
    *seconds = parts[0] * 3600 + parts[1] * 60 + parts[2];
    return true;
}

// The recording's length: the encoder's own count in its last progress line
// ("time=00:00:42.10"), else the time since the start.
static i32 recorded_seconds(void) {
    for (i32 i = encoder_tail_length - 5; i >= 0; i--) {
        if (memcmp(encoder_tail + i, "time=", 5) != 0) continue;
        i32 seconds;
        if (parse_clock(encoder_tail + i + 5, encoder_tail + encoder_tail_length, &seconds)) return seconds;
        break;
    }
    return (i32)((os_time_milliseconds() - recording_started_ms) / 1000);
}

// The encoder is gone: collect what it printed last, and tell the user what
// came of it: where the file went, or why there is none. A file written on
// the user's stop gets its share copy, unless the program is ending.
static void encoder_finished(bool quitting) {
    while (drain() > 0) {
    }
    i32 code = 0;
    bool code_known = os_process_exit_code(&app.encoder_process, &code);
    if (code_known && code != 0) {
        os_print("* ERROR * The encoder ended with exit code %i; its last output follows.\n", code);
        if (encoder_tail_length > 0) {
            os_print("%.*s", encoder_tail_length, encoder_tail);
            if (encoder_tail[encoder_tail_length - 1] != '\n') os_print("\n");
        }
        StrSlice line = last_meaningful_line();
        if (line.length > 0)
            message_show(MESSAGE_ERROR, true, "Recording failed: %.*s", (int)line.length, line.data);
        else message_show(MESSAGE_ERROR, true, "Recording failed: the encoder ended with code %i", code);
    } else {
        i64 size = os_file_size(builder_slice(&recording_path));
        const char *recorded = recording_path.data ? recording_path.data : "";
        i32 seconds = recorded_seconds();
        if (size < 0) {
            os_print("* ERROR * The encoder ended but %s was not written.\n", recorded);
            message_show(MESSAGE_ERROR, true, "No file was written");
        } else {
            os_log("saved %s, %lli bytes; the encoder's last output:\n%.*s\n", recorded, (long long)size,
                   encoder_tail_length, encoder_tail);
            message_show(MESSAGE_DONE, false, "Saved %s \xE2\x80\x94 %.1f MB, %i:%02i", path_file_name(recorded),
                         (f64)size / 1e6, seconds / 60, seconds % 60);
            if (code_known && app.stop_requested && !quitting && size > 0)
                share_copy_queue(recorded, recording_fps, (i32)(os_time_milliseconds() - recording_started_ms));
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
        message_show(MESSAGE_ERROR, true, "Lost the encoder's output; it was stopped");
        encoder_end();
        return_to_idle();
        return;
    }
    if (app.input.hotkey) request_stop();
    ElementId pressed = busy_input();
    if (pressed == ELEMENT_RECORD) request_stop();
    else if (pressed == ELEMENT_CLOSE) FrameFunction = nullptr; // recording_quit ends the encoder
}

void recording_crash_hook(u32, const char *, u64, u64) {
    if (!encoder_started) return;
    // Only a pipe write, a status test and sleeps: safe in a signal handler.
    if (!app.stop_requested) os_process_write(&app.encoder_process, 2, "q\n");
    for (i32 waited = 0; waited < CRASH_WAIT_MS && os_process_is_running(&app.encoder_process); waited += 10)
        os_sleep_ms(10);
}

void recording_quit(void) {
    if (!encoder_started) return;
    if (os_process_is_running(&app.encoder_process)) {
        request_stop();
        // A killed encoder leaves an MP4 without its index, which no player
        // opens. A large recording can take longer than the limit to finish,
        // so the limit counts silence: output or a growing file resets it.
        i64 deadline = os_time_milliseconds() + QUIT_SILENCE_LIMIT_MS;
        i64 file_size = os_file_size(builder_slice(&recording_path));
        while (os_process_is_running(&app.encoder_process) && os_time_milliseconds() < deadline) {
            bool progress = drain() > 0;
            i64 size = os_file_size(builder_slice(&recording_path));
            if (size != file_size) progress = true;
            file_size = size;
            if (progress) deadline = os_time_milliseconds() + QUIT_SILENCE_LIMIT_MS;
            os_sleep_ms(10);
        }
        if (os_process_is_running(&app.encoder_process)) {
            os_print("* WARNING * The encoder did not finish within 5 s of silence and was stopped.\n");
            encoder_end();
            return;
        }
    }
    encoder_finished(true);
}
