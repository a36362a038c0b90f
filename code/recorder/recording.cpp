#include "recording.h"

#include <string.h>

#include "../ui/frame.h"
#include "../ui/idle.h"
#include "../ui/panel.h"
#include "main_loop.h"

// The encoder's output is drained every frame; its last 4 KiB are kept so a
// failing encoder can say why.
enum { DRAIN_SIZE = 4096 };
static char encoder_tail[DRAIN_SIZE];
static i32 encoder_tail_length;
// The process record is valid only from a successful start until its kill.
static bool encoder_started;

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

static void return_to_idle(void) {
    FrameFunction = idle_frame;
    frame_show();
    panel_draw();
    os_get_cursor_position(&app.last_cursor_x, &app.last_cursor_y);
    app.pressed_element = ELEMENT_NONE;
}

// Polling and hover shared by the countdown and the recording; the control
// a press of this frame acts on, also when its release came with it, else
// ELEMENT_NONE.
static ElementId handle_input(void) {
    poll_cursor();
    ElementId pressed = ELEMENT_NONE;
    if (app.input.pressed) {
        app.input.changed = true;
        pressed = app.pressed_element = element_pressed(hit_test_panel);
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
            panel_draw();
            set_cursor_for(hovered);
        }
    }
    return pressed;
}

void countdown_frame(void) {
    app.countdown_ms += frame_timing.delta_ms;
    if (app.countdown_ms >= 0) {
        recording_start();
        return;
    }
    ElementId pressed = handle_input();
    if (pressed == ELEMENT_RECORD) return_to_idle();
    else if (pressed == ELEMENT_CLOSE) FrameFunction = nullptr;
}

static bool has_tag(StrSlice text, const char *tag) {
    i64 length = (i64)strlen(tag);
    for (i64 i = 0; i + length <= text.length; i++)
        if (memcmp(text.data + i, tag, (size_t)length) == 0) return true;
    return false;
}

static void append_tag(TextBuilder *out, const char *name, i64 length, const OsDateTime *t, i32 attempt) {
    struct Tag {
        const char *name;
        i64 value;
        bool two_digits;
    };
    const Tag tags[] = {
        {"year", t->year, false},       {"month", t->month, true},   {"month1", t->month, false},
        {"day", t->day, true},          {"day1", t->day, false},     {"hour", t->hour, true},
        {"hour1", t->hour, false},      {"minute", t->minute, true}, {"minute1", t->minute, false},
        {"second", t->second, true},    {"second1", t->second, false},
        {"incremental", attempt, false}, {"memory_incremental", app.memory_counter, false},
    };
    for (const Tag &tag : tags) {
        if ((i64)strlen(tag.name) != length || memcmp(tag.name, name, (size_t)length) != 0) continue;
        if (tag.two_digits) builder_append_int2(out, tag.value);
        else builder_append_int(out, tag.value);
        return;
    }
}

void output_name_expand(TextBuilder *out, StrSlice name_template, const OsDateTime *time, i32 attempt) {
    const char *bytes = name_template.data;
    i64 length = name_template.length, literal = 0, i = 0;
    while (i < length) {
        char c = bytes[i];
        if (c != '<' && c != '>') {
            i++;
            continue;
        }
        builder_append(out, i - literal, bytes + literal);
        if (c == '<') {
            i64 start = i + 1, end = start;
            while (end < length && bytes[end] != '>') end++;
            append_tag(out, bytes + start, end - start, time, attempt);
            i = end + 1;
        } else {
            i++;
        }
        literal = i;
    }
    if (literal < length) builder_append(out, length - literal, bytes + literal);
}

static void path_begin(TextBuilder *path) {
    StrSlice folder = os_exe_folder();
    builder_clear(path);
    builder_append(path, folder.length, folder.data);
    builder_append_text(path, "output/");
}

static bool path_exists(const TextBuilder *path) { return os_file_exists(builder_slice(path)); }

void output_path_choose(TextBuilder *path, const OsDateTime *time) {
    StrSlice name_template = builder_slice(&app.output_name_template);
    if (name_template.length > 0) {
        bool incremental = has_tag(name_template, "<incremental>");
        bool memory = has_tag(name_template, "<memory_incremental>");
        for (i32 attempt = 0;; ) {
            path_begin(path);
            output_name_expand(path, name_template, time, attempt);
            builder_append_text(path, ".mp4");
            if (!path_exists(path)) return;
            if (!incremental && !memory) break;
            if (incremental) attempt++;
            if (memory) app.memory_counter++;
        }
    }
    for (;;) {
        path_begin(path);
        builder_append_int(path, time->year);
        builder_append(path, 1, "-");
        builder_append_int2(path, time->month);
        builder_append(path, 1, "-");
        builder_append_int2(path, time->day);
        builder_append(path, 1, " ");
        builder_append_int(path, app.memory_counter);
        builder_append_text(path, ".mp4");
        if (!path_exists(path)) return;
        app.memory_counter++;
    }
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
        frame_show();
        panel_draw();
        os_get_cursor_position(&app.last_cursor_x, &app.last_cursor_y);
        app.countdown_ms = 0;
    }
    os_free(path.data);
    os_free(command.data);
}

// The encoder is gone: collect what it printed last and say why if it failed.
static void encoder_finished(void) {
    while (drain() > 0) {
    }
    i32 code = 0;
    if (os_process_exit_code(&app.encoder_process, &code) && code != 0) {
        os_print("* ERROR * The encoder ended with exit code %i; its last output follows.\n", code);
        if (encoder_tail_length > 0) {
            os_print("%.*s", encoder_tail_length, encoder_tail);
            if (encoder_tail[encoder_tail_length - 1] != '\n') os_print("\n");
        }
    }
    os_process_kill(&app.encoder_process);
    encoder_started = false;
    app.stop_requested = false;
}

static void request_stop(void) {
    if (app.stop_requested) return;
    os_process_write(&app.encoder_process, 2, "q\n");
    app.stop_requested = true;
}

void recording_frame(void) {
    if (!os_process_is_running(&app.encoder_process)) {
        encoder_finished();
        return_to_idle();
        return;
    }
    if (drain() < 0) {
        // Without its output pipe the encoder would block, so end it rather
        // than leave it behind, and start the next recording clean.
        os_print("ERROR!!\n");
        os_process_kill(&app.encoder_process);
        encoder_started = false;
        app.stop_requested = false;
        return_to_idle();
        return;
    }
    ElementId pressed = handle_input();
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
            os_process_kill(&app.encoder_process);
            encoder_started = false;
            return;
        }
    }
    encoder_finished();
}
