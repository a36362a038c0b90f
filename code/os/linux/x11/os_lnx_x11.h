// Shared by the X11 window files: the one display connection, the error trap
// and the per-window state behind OsWindow.backend.
#pragma once

#include "../posix/os_lnx_posix.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

struct OsLnxAtoms {
    Atom wm_protocols, wm_delete_window, wm_state, utf8_string;
    Atom net_wm_name, net_wm_state, net_wm_state_above, net_wm_state_skip_taskbar,
        net_wm_state_skip_pager, net_wm_state_demands_attention, net_wm_window_type,
        net_wm_window_type_normal, net_wm_window_type_utility, net_frame_extents,
        net_workarea, net_current_desktop, net_active_window, net_supporting_wm_check;
    Atom motif_wm_hints;
};

// The connection, opened by the first operation that needs it and kept for
// the whole run.
struct OsLnxDisplay {
    Display *display;
    int screen;
    Window root;
    Visual *visual;  // 24-bit TrueColor, the canvas's own pixel layout
    int depth;
    Colormap colormap;
    bool shm;        // MIT-SHM usable for presenting
    bool shape;      // SHAPE 1.1 (input regions)
    bool lost;       // the server went away; every window is closed
    XIM input_method;
    OsLnxAtoms atoms;
    // The pointer as last asked of the server. XInput2 raw motion and the
    // pointer events of our windows say when it has moved since, so an idle
    // frame loop need not ask every frame; a warp elsewhere makes neither.
    int xi_opcode;
    int randr_event_base; // -1 without RandR
    bool raw_motion;     // raw motion events are selected
    bool pointer_moved;  // motion or a button seen since the last query
    int pointer_x, pointer_y;
    i64 pointer_asked_us; // os_ticks time of the last query
};

extern OsLnxDisplay os_lnx_x;

// Opens the connection on first use; null when there is no display.
Display *os_lnx_display(void);

// X errors arrive asynchronously; the library's handler records the first
// one instead of ending the process. Begin clears it; end waits for the
// server to process everything sent so far and returns the error code (0
// when the calls in between succeeded).
void os_lnx_trap_begin(void);
int os_lnx_trap_end(void);

// True when an EWMH window manager runs on the screen right now.
bool os_lnx_wm_running(void);
// Whether a window of these flags bypasses the window manager
// (override-redirect): borderless tool windows, and under a manager that
// ignores the positions clients ask for, every borderless window.
bool os_lnx_wants_override(u16 flags);
// Reads up to capacity 32-bit items of a window property of this type into
// values (as Xlib hands them, in longs); the count read, 0 when the property
// is missing or of another type or format. Errors are not trapped here.
i32 os_lnx_read_longs(Display *display, Window window, Atom property, Atom type, long *values, i32 capacity);

// Per-window state kept beside the record.
struct OsLnxWindow {
    Window id;
    GC gc;
    bool override_redirect; // the window manager never sees it
    bool shown;             // the caller wants it visible
    bool zero_size;         // a 0 width or height: kept unmapped
    bool iconic;            // minimised: client size reads 0 x 0
    bool mapped;            // the last map state we asked for
    bool reparented;        // inside a window manager's frame
    bool urgent;            // flashing until the window gains focus
    unsigned long configure_serial; // ConfigureNotify older than our last move is stale
    i32 x_width, x_height;  // the X window's real size (never 0)
    i32 frame_left, frame_right, frame_top, frame_bottom; // _NET_FRAME_EXTENTS
    XShmSegmentInfo shm;    // shmaddr set while the pixels live in a segment
    XIC input_context;      // null without an input method: Latin-1 lookup
};

inline OsLnxWindow *os_lnx_window(OsWindow *window) { return (OsLnxWindow *)window->backend; }

// Maps or unmaps to match shown, zero size and iconic state.
void os_lnx_update_mapping(OsWindow *window);

// Asks the server to put the client area at this rectangle (a 0 width or
// height unmaps), then updates the record and delivers the move and size
// events at once, as a synchronous system would; the later ConfigureNotify
// finds nothing new.
void os_lnx_place_client(OsWindow *window, i32 x, i32 y, i32 width, i32 height);

// Reads the client corner's root position from the server and sets the
// record's geometry from it, the given X size and the frame extents;
// delivers move and size events for what changed.
void os_lnx_refresh_geometry(OsWindow *window, i32 x_width, i32 x_height);
void os_lnx_set_geometry(OsWindow *window, i32 x, i32 y, i32 width, i32 height);
// Sets the record at creation, without events (Windows sends none either).
void os_lnx_set_geometry_silent(OsWindow *window, i32 x, i32 y, i32 width, i32 height);

// Sets the motif, state and type hints from the flag word (before mapping).
void os_lnx_apply_hints(OsWindow *window);

// Minimised state: the client size reads 0 x 0 while iconic.
void os_lnx_set_iconic(OsWindow *window, bool iconic);

// The close sequence; destroy is false when the X window is already gone.
void os_lnx_close_window(OsWindow *window, bool destroy);

// os_platform_raw_mouse_on/off (os_internal.h): the bits follow the focus as
// on Windows, but nothing is registered with X.

// The event record and its delivery to the application's callback.
extern OsEvent os_lnx_event;
void os_lnx_deliver(OsWindow *window, u8 kind);

// Cursor shown over every window: the current shape unless hidden.
void os_lnx_apply_cursor(OsWindow *window);

// Layered windows: see-through where the canvas is black.
void os_lnx_update_shape_mask(OsWindow *window, i32 width, i32 height);

// A key event of a hotkey grab (on the root window): delivers OS_EVENT_HOTKEY
// for a first press; true when the event belonged to a hotkey.
bool os_lnx_hotkey_event(XKeyEvent *event);
