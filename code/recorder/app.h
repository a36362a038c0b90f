// The recorder's global state: one process-wide AppState record.
#pragma once

#include "../os/os.h"
#include "../ui/view.h"
#include "text_builder.h"

// What the share copy after each recording is (Config.txt's share_copy).
enum : u8 {
    SHARE_COPY_NONE = 0,
    SHARE_COPY_MP4 = 1,
    SHARE_COPY_GIF = 2,
};

// What the speaker button records besides audio_device_name (Config.txt's
// system_sound): the computer's own sound only when no device is named, as
// well as the device, or never.
enum : u8 {
    SYSTEM_SOUND_AUTO = 0,
    SYSTEM_SOUND_YES = 1,
    SYSTEM_SOUND_NO = 2,
};

// Per-frame input flags, cleared by the main loop after every frame function.
struct FrameInput {
    bool pressed;  // left button went down (single or double click)
    bool released; // left button went up
    bool moved;    // the polled cursor differs from last_cursor
    bool changed;  // something may need a hit test or a redraw
    bool hotkey;   // the record hotkey was pressed (once per press)
    bool pause;    // the pause hotkey was pressed
};

// The UI's view (region, zones, panel values, windows) is the first part of
// the record, so the drawing and hit tests are handed the app itself.
struct AppState : UiView {
    // Two opposite corners of the capture region, inclusive screen pixels.
    i32 region_x0, region_y0, region_x1, region_y1;
    i32 panel_x, panel_y;
    // Numbers the recordings (default names and "<memory_incremental>");
    // "memory" because the state file remembers it between runs.
    i32 memory_counter;
    u8 state_byte = 1; // carried from the state file read into the one written
    // Until start-up has read the state file, there is nothing to write back:
    // an early end would replace the saved region with zeros.
    bool state_read;
    i16 frame_size_rounding; // Config.txt's keys and their defaults: config.h
    TextBuilder output_name_template; // created on first use
    TextBuilder audio_device;
    u8 system_sound; // SYSTEM_SOUND_*
    // The encoder as command lines name it, when start-up found it beside
    // the program (encoder_program has the fallback).
    TextBuilder encoder_command;
    TextBuilder record_hotkey; // Config.txt text; empty: no hotkey
    TextBuilder pause_hotkey;
    u8 share_copy;             // SHARE_COPY_*: a copy made after each recording
    i16 share_copy_max_width;  // 0: the recording's width
    ElementId pressed_element = ELEMENT_NONE;
    i32 last_cursor_x, last_cursor_y;
    i32 drag_x0, drag_y0, drag_x1, drag_y1, press_x, press_y;
    // Where the last left press of this frame happened, from the event itself:
    // a poll may not have seen a pointer that was just warped there.
    i32 pressed_at_x, pressed_at_y;
    bool minimised = false;
    bool monitors_changed = false; // the system reported a new monitor layout
    i32 countdown_ms;
    i64 message_until_ms; // when the panel's message gives way to the region
    FrameInput input = {false, false, false, true, false, false};
};

extern AppState app;
