// The recorder's global state: one process-wide AppState record. The main
// loop, start-up and the frame functions extend this header as they arrive.
#pragma once

#include "../os/os.h"
#include "../ui/hit_test.h"
#include "text_builder.h"

// Per-frame input flags, cleared by the main loop after every frame function.
struct FrameInput {
    bool pressed;  // left button went down (single or double click)
    bool released; // left button went up
    bool moved;    // the polled cursor differs from last_cursor
    bool changed;  // something may need a hit test or a redraw
};

struct AppState {
    // Two opposite corners of the capture region, inclusive screen pixels.
    i32 region_x0, region_y0, region_x1, region_y1;
    // Derived by update_zone_sizes: the smaller corner and the size.
    i32 region_x, region_y, region_w, region_h;
    u8 frame_style = 2; // 0 hidden, 1 border, 2 guides
    i32 frame_metric_large, frame_metric_small;
    i32 screen_width, screen_height;
    bool region_locked = false;
    bool draw_mouse = true;
    bool record_audio = false;
    u8 fps = 30;
    i32 delay_ms = 1000;
    i32 panel_x, panel_y;
    i32 memory_counter;
    u8 state_byte = 1; // carried from the state file read into the one written
    i16 frame_dash_length = 2;
    i16 frame_dash_thickness = 1;
    i16 frame_size_rounding = 10;
    TextBuilder output_name_template; // created on first use
    TextBuilder audio_device;
    TextBuilder encoder_command;
    ElementId hover_element = ELEMENT_NONE;
    ElementId pressed_element = ELEMENT_NONE;
    i32 last_cursor_x, last_cursor_y;
    i32 drag_x0, drag_y0, drag_x1, drag_y1, press_x, press_y;
    // Where the last left press of this frame happened, from the event itself:
    // a poll may not have seen a pointer that was just warped there.
    i32 pressed_at_x, pressed_at_y;
    i32 corner_inner_w, corner_inner_h, edge_inner_w, edge_inner_h;
    bool minimised = false;
    i32 countdown_ms;
    OsProcess encoder_process;
    bool stop_requested;
    FrameInput input = {false, false, false, true};
    OsWindow *edge_top, *edge_bottom, *edge_left, *edge_right;
    OsWindow *control_window, *grab_window;
};

extern AppState app;

// Builds folder + name into buffer, the 512-byte path buffer of start-up plus
// its NUL. False, with an empty buffer, when the whole path does not fit: a
// cut path would name some other file, and writing there could destroy it.
bool app_file_path(char (&buffer)[513], const char *name);
// A new string (free with os_free_string): the executable's folder + "output",
// where the recordings go.
StrSlice app_output_folder(void);
// The whole file beside the executable ({0, null} when missing or the path
// does not fit). Free with os_free_file.
StrSlice app_read_file(const char *name);
