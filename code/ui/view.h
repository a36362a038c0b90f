// What the drawing and the hit tests read: the region with its grab zones,
// the panel's values and the windows they go to. The recorder's AppState
// extends this record, so the UI is handed the app itself and never reaches
// for the recorder's state.
#pragma once

#include "../os/os.h"

typedef u32 ElementId;
enum : u32 {
    ELEMENT_NONE = 0,
    ELEMENT_EDGE_TOP = 1,
    ELEMENT_EDGE_BOTTOM = 2,
    ELEMENT_EDGE_LEFT = 3,
    ELEMENT_EDGE_RIGHT = 4,
    ELEMENT_CORNER_TOP_LEFT = 5,
    ELEMENT_CORNER_TOP_RIGHT = 6,
    ELEMENT_CORNER_BOTTOM_LEFT = 7,
    ELEMENT_CORNER_BOTTOM_RIGHT = 8,
    ELEMENT_PANEL = 11,
    ELEMENT_RECORD = 12,
    ELEMENT_FRAME_HIDDEN = 13,
    ELEMENT_FRAME_BORDER = 14,
    ELEMENT_FRAME_GUIDES = 15,
    ELEMENT_LOCK_REGION = 16,
    ELEMENT_DRAW_MOUSE = 17,
    ELEMENT_AUDIO = 18,
    ELEMENT_FPS_DOWN = 19,
    ELEMENT_FPS_UP = 20,
    ELEMENT_DELAY_DOWN = 21,
    ELEMENT_DELAY_UP = 22,
    ELEMENT_OPEN_OUTPUT = 23,
    ELEMENT_MOVE_REGION = 24,
    ELEMENT_MINIMISE = 25,
    ELEMENT_CLOSE = 26,
    ELEMENT_PAUSE = 27, // pause or resume, at the right end of the text line while recording
};

// Which state the program is in, as far as the drawing cares: the status
// colour, the record button's face, whether the guides shrink to a border,
// and what the text line and its pause control show.
enum AppMode : u8 {
    APP_MODE_IDLE = 0,
    APP_MODE_COUNTDOWN = 1,
    APP_MODE_RECORDING = 2,
    APP_MODE_PAUSED = 3, // a recording between a pause and its resume or stop
};
// A recording is under way, running or paused.
inline bool mode_records(AppMode mode) { return mode == APP_MODE_RECORDING || mode == APP_MODE_PAUSED; }

enum { UI_MONITOR_CAPACITY = 16 };
// A message shown on the panel's text line in place of the region; a note
// is drawn as a failure is, since it says that something is missing.
enum MessageKind : u8 {
    MESSAGE_NONE = 0,
    MESSAGE_ERROR = 1, // something failed
    MESSAGE_DONE = 2,  // something was done: a recording saved, a copy made
    MESSAGE_NOTE = 3,  // the program runs on without something
};
enum { MESSAGE_CAPACITY = 192 };

struct UiView {
    // The region's smaller corner and size, and the depths of its grab zones.
    i32 region_x, region_y, region_w, region_h;
    i32 corner_inner_w, corner_inner_h, edge_inner_w, edge_inner_h;
    u8 frame_style = 2; // 0 hidden, 1 border, 2 guides
    i32 frame_metric_large, frame_metric_small;
    i32 screen_width, screen_height;
    // The monitors' outer bounds on the virtual desktop, the main one first.
    // While there are none (before start-up reads them) the desktop is the
    // main monitor at the origin, screen_width x screen_height.
    OsRect monitors[UI_MONITOR_CAPACITY];
    i32 monitor_count;
    bool region_locked = false;
    bool draw_mouse = true;
    bool record_audio = false;
    u8 fps = 30;
    i32 delay_ms = 1000;
    i16 frame_dash_length = 2;
    i16 frame_dash_thickness = 1;
    ElementId hover_element = ELEMENT_NONE;
    OsWindow *edge_top, *edge_bottom, *edge_left, *edge_right;
    OsWindow *control_window, *grab_window;
    // While recording or paused the text line shows the recording instead of
    // the region: its time so far (pauses left out) and its size.
    i64 recorded_ms = 0, recorded_bytes = 0;
    char message[MESSAGE_CAPACITY] = {}; // NUL-terminated UTF-8
    MessageKind message_kind = MESSAGE_NONE;
    bool message_see_log = false; // the panel adds where the details are
};
