// Windows on X11: the display connection, window creation, the hints that
// stand in for Windows styles, geometry bookkeeping and the close sequence.
#include "os_lnx_x11.h"

#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xrandr.h>

#include <X11/Xatom.h>
#include <X11/XKBlib.h>
#include <X11/extensions/shape.h>
#include <errno.h>
#include <stdint.h>
#include <string.h>

OsLnxDisplay os_lnx_x;

static unsigned long os_lnx_trap_serial;
static int os_lnx_trap_code;

// Xlib keeps one error handler and one I/O error handler for the whole
// process, called for every connection; the clipboard's connections are
// served on a thread of their own, and only the main connection's errors
// may touch the trap or its lost flag.
static int os_lnx_on_x_error(Display *display, XErrorEvent *error) {
    // Errors outside a trap (an async request on a window that is already
    // gone, say) are harmless to us; the default handler would exit.
    if (display == os_lnx_x.display && error->serial >= os_lnx_trap_serial && !os_lnx_trap_code)
        os_lnx_trap_code = error->error_code;
    return 0;
}

static int os_lnx_on_io_error(Display *display) {
    if (display == os_lnx_x.display) os_lnx_x.lost = true;
    return 0;
}

static void os_lnx_on_io_exit(Display *, void *) {
    // Returning instead of exiting leaves Xlib in its error state, where
    // every call returns at once; the next pump closes the windows so the
    // application can end cleanly.
    os_lnx_x.lost = true;
}

void os_lnx_trap_begin(void) {
    os_lnx_trap_code = 0;
    os_lnx_trap_serial = NextRequest(os_lnx_x.display);
}

int os_lnx_trap_end(void) {
    XSync(os_lnx_x.display, False);
    os_lnx_trap_serial = ~0ul;
    return os_lnx_trap_code;
}

static bool os_lnx_choose_visual(Display *display, int screen) {
    XVisualInfo wanted = {};
    wanted.screen = screen;
    wanted.depth = 24;
    wanted.c_class = TrueColor;
    int count = 0;
    XVisualInfo *found = XGetVisualInfo(display, VisualScreenMask | VisualDepthMask | VisualClassMask,
                                        &wanted, &count);
    if (!found) return false;
    // Prefer the 0x00RRGGBB layout of the canvas: then the pixels go to the
    // server as they are.
    int pick = 0;
    for (int i = 0; i < count; i++) {
        if (found[i].red_mask == 0xFF0000 && found[i].green_mask == 0xFF00 && found[i].blue_mask == 0xFF) {
            pick = i;
            if (found[i].visual == DefaultVisual(display, screen)) break;
        }
    }
    os_lnx_x.visual = found[pick].visual;
    os_lnx_x.depth = found[pick].depth;
    XFree(found);
    return true;
}

static bool os_lnx_shm_usable(Display *display) {
    int major, minor;
    Bool pixmaps;
    if (!XShmQueryVersion(display, &major, &minor, &pixmaps)) return false;
    // Shared pixels are read as they are: the server must want 32-bit
    // little-endian pixels for depth 24.
    if (ImageByteOrder(display) != LSBFirst) return false;
    int count = 0;
    bool ok = false;
    XPixmapFormatValues *formats = XListPixmapFormats(display, &count);
    for (int i = 0; formats && i < count; i++)
        if (formats[i].depth == os_lnx_x.depth) ok = formats[i].bits_per_pixel == 32;
    if (formats) XFree(formats);
    return ok;
}

static void os_lnx_intern_atoms(Display *display) {
    OsLnxAtoms &a = os_lnx_x.atoms;
    struct { Atom *atom; const char *name; } table[] = {
        {&a.wm_protocols, "WM_PROTOCOLS"},
        {&a.wm_delete_window, "WM_DELETE_WINDOW"},
        {&a.wm_state, "WM_STATE"},
        {&a.utf8_string, "UTF8_STRING"},
        {&a.net_wm_name, "_NET_WM_NAME"},
        {&a.net_wm_state, "_NET_WM_STATE"},
        {&a.net_wm_state_above, "_NET_WM_STATE_ABOVE"},
        {&a.net_wm_state_skip_taskbar, "_NET_WM_STATE_SKIP_TASKBAR"},
        {&a.net_wm_state_skip_pager, "_NET_WM_STATE_SKIP_PAGER"},
        {&a.net_wm_state_demands_attention, "_NET_WM_STATE_DEMANDS_ATTENTION"},
        {&a.net_wm_window_type, "_NET_WM_WINDOW_TYPE"},
        {&a.net_wm_window_type_normal, "_NET_WM_WINDOW_TYPE_NORMAL"},
        {&a.net_wm_window_type_utility, "_NET_WM_WINDOW_TYPE_UTILITY"},
        {&a.net_frame_extents, "_NET_FRAME_EXTENTS"},
        {&a.net_workarea, "_NET_WORKAREA"},
        {&a.net_current_desktop, "_NET_CURRENT_DESKTOP"},
        {&a.net_active_window, "_NET_ACTIVE_WINDOW"},
        {&a.net_supporting_wm_check, "_NET_SUPPORTING_WM_CHECK"},
        {&a.motif_wm_hints, "_MOTIF_WM_HINTS"},
    };
    const int count = (int)(sizeof table / sizeof table[0]);
    char *names[count];
    Atom atoms[count];
    for (int i = 0; i < count; i++) names[i] = (char *)table[i].name;
    XInternAtoms(display, names, count, False, atoms);
    for (int i = 0; i < count; i++) *table[i].atom = atoms[i];
}

Display *os_lnx_display(void) {
    if (os_lnx_x.display) return os_lnx_x.lost ? nullptr : os_lnx_x.display;
    // Before the first connection: the clipboard thread uses Xlib too.
    XInitThreads();
    Display *display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    XSetErrorHandler(os_lnx_on_x_error);
    XSetIOErrorHandler(os_lnx_on_io_error);
    XSetIOErrorExitHandler(display, os_lnx_on_io_exit, nullptr);
    os_lnx_trap_serial = ~0ul;
    int screen = DefaultScreen(display);
    if (!os_lnx_choose_visual(display, screen)) {
        XCloseDisplay(display);
        return nullptr;
    }
    os_lnx_x.display = display;
    os_lnx_x.screen = screen;
    os_lnx_x.root = RootWindow(display, screen);
    os_lnx_x.colormap = os_lnx_x.visual == DefaultVisual(display, screen)
                            ? DefaultColormap(display, screen)
                            : XCreateColormap(display, os_lnx_x.root, os_lnx_x.visual, AllocNone);
    os_lnx_x.shm = os_lnx_shm_usable(display);
    int event_base, error_base;
    if (XShapeQueryExtension(display, &event_base, &error_base)) {
        int major = 0, minor = 0;
        XShapeQueryVersion(display, &major, &minor);
        os_lnx_x.shape = major > 1 || (major == 1 && minor >= 1);
    }
    os_lnx_intern_atoms(display);
    // The monitor layout's changes, which Windows sends every top-level window.
    int randr_event = -1, randr_error;
    if (XRRQueryExtension(display, &randr_event, &randr_error))
        XRRSelectInput(display, os_lnx_x.root,
                       RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    else
        randr_event = -1;
    os_lnx_x.randr_event_base = randr_event;
    int xi_event, xi_error, major = 2, minor = 2;
    if (XQueryExtension(display, "XInputExtension", &os_lnx_x.xi_opcode, &xi_event, &xi_error) &&
        XIQueryVersion(display, &major, &minor) == Success) {
        unsigned char bits[XIMaskLen(XI_RawMotion)] = {};
        XISetMask(bits, XI_RawMotion);
        XIEventMask mask = {XIAllDevices, (int)sizeof bits, bits};
        XISelectEvents(display, os_lnx_x.root, &mask, 1);
        os_lnx_x.raw_motion = true;
    }
    os_lnx_x.pointer_moved = true;
    // Held keys then repeat as presses without the fake releases between,
    // which is how the repeat kind is told apart.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(display, True, &supported);
    // The built-in compose support, no input-method server needed.
    XSetLocaleModifiers("@im=none");
    os_lnx_x.input_method = XOpenIM(display, nullptr, nullptr, nullptr);
    return display;
}

i32 os_lnx_read_longs(Display *display, Window window, Atom property, Atom type, long *values, i32 capacity) {
    Atom got_type;
    int format;
    unsigned long count = 0, after;
    unsigned char *data = nullptr;
    i32 read = 0;
    if (XGetWindowProperty(display, window, property, 0, capacity, False, type, &got_type, &format, &count,
                           &after, &data) == Success &&
        data && format == 32 && got_type == type) {
        read = count < (unsigned long)capacity ? (i32)count : capacity;
        for (i32 i = 0; i < read; i++) values[i] = ((long *)data)[i];
    }
    if (data) XFree(data);
    return read;
}

// The window manager's check window, or None when none runs.
static Window os_lnx_wm_check_window(Display *display) {
    // The check window names itself; a stale id left by a window manager
    // that died fails the second read.
    Atom check = os_lnx_x.atoms.net_supporting_wm_check;
    Window found[2] = {};
    Window from[2] = {os_lnx_x.root, 0};
    os_lnx_trap_begin();
    for (int i = 0; i < 2; i++) {
        if (i == 1 && !found[0]) break;
        if (i == 1) from[1] = found[0];
        long value = 0;
        if (os_lnx_read_longs(display, from[i], check, XA_WINDOW, &value, 1) == 1) found[i] = (Window)value;
    }
    os_lnx_trap_end();
    return found[0] && found[0] == found[1] ? found[0] : None;
}

bool os_lnx_wm_running(void) {
    Display *display = os_lnx_display();
    return display && os_lnx_wm_check_window(display) != None;
}

// wlroots' XWayland window manager (sway and the other wlroots desktops)
// centres every floating X window and every move it asks for: only an
// override-redirect window keeps its place there.
static bool os_lnx_wm_ignores_positions(void) {
    static int known = -1;
    if (known >= 0) return known;
    Display *display = os_lnx_display();
    Window check = display ? os_lnx_wm_check_window(display) : None;
    if (!check) return false; // a window manager may come later; ask again then
    Atom type;
    int format;
    unsigned long count = 0, after;
    unsigned char *name = nullptr;
    os_lnx_trap_begin();
    XGetWindowProperty(display, check, os_lnx_x.atoms.net_wm_name, 0, 32, False, os_lnx_x.atoms.utf8_string, &type,
                       &format, &count, &after, &name);
    os_lnx_trap_end();
    known = name && format == 8 && count == 10 && memcmp(name, "wlroots wm", 10) == 0;
    if (name) XFree(name);
    return known;
}

bool os_lnx_wants_override(u16 flags) {
    // Borderless tool windows (the region frame and the grab handle) bypass
    // the window manager: exact placement, no focus taking, no task-bar entry.
    // So does every borderless window where the manager would not place it.
    bool borderless = (flags & (OS_WINDOW_BORDERLESS | OS_WINDOW_AT_ORIGIN)) != 0;
    return borderless && ((flags & OS_WINDOW_TOOL) || os_lnx_wm_ignores_positions());
}

static bool os_lnx_is_borderless(u16 flags) {
    return (flags & (OS_WINDOW_BORDERLESS | OS_WINDOW_AT_ORIGIN)) != 0;
}

// A managed window the user cannot resize: framed without the sizing border,
// or borderless. Equal minimum and maximum sizes also make tiling window
// managers (i3, sway) float it at its own size instead of tiling it.
static bool os_lnx_has_fixed_size(OsWindow *window) {
    return (window->flags & OS_WINDOW_FIXED_SIZE) || os_lnx_is_borderless(window->flags);
}

static void os_lnx_set_normal_hints(OsWindow *window, bool user_position) {
    OsLnxWindow *b = os_lnx_window(window);
    XSizeHints *hints = XAllocSizeHints();
    if (!hints) return;
    // Static gravity: a requested position is the client area's position,
    // whatever frame the window manager adds.
    hints->flags = PWinGravity;
    hints->win_gravity = StaticGravity;
    if (user_position) hints->flags |= USPosition | USSize;
    if (os_lnx_has_fixed_size(window)) {
        hints->flags |= PMinSize | PMaxSize;
        hints->min_width = hints->max_width = b->x_width;
        hints->min_height = hints->max_height = b->x_height;
    }
    XSetWMNormalHints(os_lnx_x.display, b->id, hints);
    XFree(hints);
}

void os_lnx_apply_hints(OsWindow *window) {
    Display *display = os_lnx_x.display;
    OsLnxWindow *b = os_lnx_window(window);
    const OsLnxAtoms &a = os_lnx_x.atoms;
    u16 flags = window->flags;

    // _MOTIF_WM_HINTS: flags, functions, decorations, input mode, status.
    long motif[5] = {2, 0, 1, 0, 0};
    if (os_lnx_is_borderless(flags)) motif[2] = 0;
    else if (flags & OS_WINDOW_FIXED_SIZE) motif[2] = 2 | 8 | 16 | 32; // border, title, menu, minimise
    XChangeProperty(display, b->id, a.motif_wm_hints, a.motif_wm_hints, 32, PropModeReplace,
                    (unsigned char *)motif, 5);

    Atom states[3];
    int state_count = 0;
    if (flags & OS_WINDOW_TOPMOST) states[state_count++] = a.net_wm_state_above;
    if ((flags & OS_WINDOW_TOOL) && !(flags & OS_WINDOW_APP_WINDOW)) {
        states[state_count++] = a.net_wm_state_skip_taskbar;
        states[state_count++] = a.net_wm_state_skip_pager;
    }
    XChangeProperty(display, b->id, a.net_wm_state, XA_ATOM, 32, PropModeReplace, (unsigned char *)states,
                    state_count);

    Atom type = (flags & OS_WINDOW_TOOL) && !(flags & OS_WINDOW_APP_WINDOW) ? a.net_wm_window_type_utility
                                                                            : a.net_wm_window_type_normal;
    XChangeProperty(display, b->id, a.net_wm_window_type, XA_ATOM, 32, PropModeReplace, (unsigned char *)&type,
                    1);
    os_lnx_set_normal_hints(window, (flags & OS_WINDOW_AT_ORIGIN) != 0);
}

void os_lnx_update_mapping(OsWindow *window) {
    OsLnxWindow *b = os_lnx_window(window);
    if (!b || os_lnx_x.lost) return;
    Display *display = os_lnx_x.display;
    bool want = b->shown && !b->zero_size && !b->iconic;
    if (want && !b->mapped) {
        b->mapped = true;
        if (!b->override_redirect) os_lnx_set_normal_hints(window, true);
        if (window->flags & OS_WINDOW_TOPMOST) {
            XMapRaised(display, b->id);
            // Raising keeps it above other programs, but among our own
            // topmost windows the later-created stay on top, as on Windows:
            // a guide mapped again must not cover the panel.
            i32 count = 0;
            OsWindow **list = nullptr;
            os_get_windows(&count, nullptr, &list);
            bool later = false;
            for (i32 i = 0; i < count; i++) {
                OsLnxWindow *other = os_lnx_window(list[i]);
                if (list[i] == window) {
                    later = true;
                } else if (later && (list[i]->flags & OS_WINDOW_TOPMOST) && other->mapped) {
                    XRaiseWindow(display, other->id);
                }
            }
        } else {
            XMapWindow(display, b->id);
        }
    } else if (!want && b->mapped) {
        b->mapped = false;
        // A managed window is withdrawn so the window manager forgets it
        // rather than taking the unmap for a minimise.
        if (b->override_redirect) XUnmapWindow(display, b->id);
        else XWithdrawWindow(display, b->id, os_lnx_x.screen);
    }
}

void os_lnx_set_geometry(OsWindow *window, i32 x, i32 y, i32 width, i32 height) {
    OsLnxWindow *b = os_lnx_window(window);
    if (b->iconic || b->zero_size) width = height = 0;
    bool moved = x != window->client_x || y != window->client_y;
    bool sized = width != window->client_width || height != window->client_height;
    window->client_x = x;
    window->client_y = y;
    window->client_width = width;
    window->client_height = height;
    window->window_x = x - b->frame_left;
    window->window_y = y - b->frame_top;
    bool framed = width > 0 && height > 0;
    window->window_width = framed ? width + b->frame_left + b->frame_right : 0;
    window->window_height = framed ? height + b->frame_top + b->frame_bottom : 0;
    if (moved) {
        os_lnx_event.move.x = x;
        os_lnx_event.move.y = y;
        os_lnx_deliver(window, OS_EVENT_WINDOW_MOVE);
    }
    // The callback may have closed the window.
    if (sized && (window->flags & OS_WINDOW_OPEN)) {
        if (window->flags & OS_WINDOW_PIXEL_BUFFER) os_resize_window_pixels(window);
        os_lnx_event.size.width = width;
        os_lnx_event.size.height = height;
        os_lnx_deliver(window, OS_EVENT_WINDOW_RESIZE);
    }
}

void os_lnx_refresh_geometry(OsWindow *window, i32 x_width, i32 x_height) {
    OsLnxWindow *b = os_lnx_window(window);
    int x = 0, y = 0;
    Window child;
    if (!XTranslateCoordinates(os_lnx_x.display, b->id, os_lnx_x.root, 0, 0, &x, &y, &child)) return;
    b->x_width = x_width;
    b->x_height = x_height;
    os_lnx_set_geometry(window, x, y, x_width, x_height);
}

void os_lnx_place_client(OsWindow *window, i32 x, i32 y, i32 width, i32 height) {
    OsLnxWindow *b = os_lnx_window(window);
    if (!b || os_lnx_x.lost) return;
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    // X has no 0-sized windows: keep the last real size, unmapped.
    b->zero_size = width == 0 || height == 0;
    b->configure_serial = NextRequest(os_lnx_x.display);
    if (b->zero_size) {
        XMoveWindow(os_lnx_x.display, b->id, x, y);
    } else {
        b->x_width = width;
        b->x_height = height;
        // The new fixed size first, or the manager holds the window to the old one.
        if (os_lnx_has_fixed_size(window) && !b->override_redirect) os_lnx_set_normal_hints(window, true);
        XMoveResizeWindow(os_lnx_x.display, b->id, x, y, (unsigned)width, (unsigned)height);
    }
    os_lnx_update_mapping(window);
    XFlush(os_lnx_x.display);
    os_lnx_set_geometry(window, x, y, width, height);
}

static void os_lnx_set_title(Display *display, Window id, StrSlice title) {
    const char *text = "Window";
    i64 length = 6;
    if (title.length > 0 && title.data) {
        text = title.data;
        length = title.length;
    }
    bool ascii = true;
    for (i64 i = 0; i < length; i++)
        if ((unsigned char)text[i] >= 0x80) ascii = false;
    XChangeProperty(display, id, os_lnx_x.atoms.net_wm_name, os_lnx_x.atoms.utf8_string, 8, PropModeReplace,
                    (const unsigned char *)text, (int)length);
    // Old tools read WM_NAME only; STRING there is Latin-1, so UTF-8 text
    // goes in as UTF8_STRING, which they mostly show right as well.
    XChangeProperty(display, id, XA_WM_NAME, ascii ? XA_STRING : os_lnx_x.atoms.utf8_string, 8,
                    PropModeReplace, (const unsigned char *)text, (int)length);
}

static void os_lnx_set_class(Display *display, Window id) {
    XClassHint hint;
    hint.res_name = program_invocation_short_name;
    hint.res_class = program_invocation_short_name;
    XSetClassHint(display, id, &hint);
}

OsWindow *os_open_window(i32 width, i32 height, StrSlice title, u16 flags) {
    os_load_cursors();
    // Connecting is the one-time set-up that stands in for registering the
    // window class, and like it is tried again by the next call.
    Display *display = os_lnx_display();
    if (!display) {
        os_diagnostic("* ERROR * Register window class fail\n");
        return nullptr;
    }
    if (flags & OS_WINDOW_AT_ORIGIN) width = height = 100;
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    bool zero = width == 0 || height == 0;
    i32 x_width = width > 0 ? width : 1;
    i32 x_height = height > 0 ? height : 1;
    bool override = os_lnx_wants_override(flags);

    XSetWindowAttributes attributes = {};
    attributes.colormap = os_lnx_x.colormap;
    attributes.border_pixel = 0;
    // No background: like a class without a brush, nothing is painted
    // between the map and the first present.
    attributes.background_pixmap = None;
    attributes.override_redirect = override;
    attributes.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask | KeyReleaseMask |
                            ButtonPressMask | ButtonReleaseMask | PointerMotionMask | FocusChangeMask |
                            PropertyChangeMask;
    os_lnx_trap_begin();
    Window id = XCreateWindow(display, os_lnx_x.root, 0, 0, (unsigned)x_width, (unsigned)x_height, 0,
                              os_lnx_x.depth, InputOutput, os_lnx_x.visual,
                              CWColormap | CWBorderPixel | CWBackPixmap | CWOverrideRedirect | CWEventMask,
                              &attributes);
    int error = os_lnx_trap_end();
    if (error || !id) {
        os_diagnostic("* ERROR * Window open fail %i\n", error);
        return nullptr;
    }

    OsWindow *window = (OsWindow *)os_alloc_zeroed(sizeof(OsWindow));
    OsLnxWindow *b = (OsLnxWindow *)os_alloc_zeroed(sizeof(OsLnxWindow));
    b->id = id;
    b->override_redirect = override;
    b->shown = !(flags & OS_WINDOW_HIDDEN);
    b->zero_size = zero;
    b->x_width = x_width;
    b->x_height = x_height;
    window->backend = b;
    window->handle = (void *)(uintptr_t)id;
    b->gc = XCreateGC(display, id, 0, nullptr);
    window->device_context = (void *)b->gc;
    window->flags = (u16)(flags | OS_WINDOW_OPEN | OS_WINDOW_FOCUSED);
    if (os_lnx_x.input_method)
        b->input_context = XCreateIC(os_lnx_x.input_method, XNInputStyle, XIMPreeditNothing | XIMStatusNothing,
                                     XNClientWindow, id, XNFocusWindow, id, nullptr);

    Atom protocols[1] = {os_lnx_x.atoms.wm_delete_window};
    XSetWMProtocols(display, id, protocols, 1);
    os_lnx_set_title(display, id, title);
    os_lnx_set_class(display, id);
    os_lnx_apply_hints(window);
    if ((flags & OS_WINDOW_TRANSPARENT) && os_lnx_x.shape)
        XShapeCombineRectangles(display, id, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);

    os_window_list_add(window);
    os_lnx_set_geometry_silent(window, 0, 0, zero ? 0 : width, zero ? 0 : height);
    if (flags & OS_WINDOW_PIXEL_BUFFER) os_alloc_window_pixels(window);
    os_lnx_apply_cursor(window);
    os_lnx_update_mapping(window);
    // Without a window manager nobody activates a new window; Windows does.
    if (b->mapped && !os_lnx_wm_running()) XSetInputFocus(display, id, RevertToPointerRoot, CurrentTime);
    XFlush(display);
    return window;
}

void os_lnx_set_geometry_silent(OsWindow *window, i32 x, i32 y, i32 width, i32 height) {
    window->client_x = window->window_x = x;
    window->client_y = window->window_y = y;
    window->client_width = window->window_width = width;
    window->client_height = window->window_height = height;
}

void os_lnx_close_window(OsWindow *window, bool destroy) {
    if (!window || !(window->flags & OS_WINDOW_OPEN)) return;
    window->flags &= (u16)~OS_WINDOW_OPEN;
    OsLnxWindow *b = os_lnx_window(window);
    if (window->flags & OS_WINDOW_PIXEL_BUFFER) os_free_window_pixels(window);
    Display *display = os_lnx_x.lost ? nullptr : os_lnx_x.display;
    if (b && display) {
        if (b->input_context) XDestroyIC(b->input_context);
        XFreeGC(display, b->gc);
        if (destroy) {
            os_lnx_trap_begin();
            XDestroyWindow(display, b->id);
            int error = os_lnx_trap_end();
            if (error) os_diagnostic("* ERROR * Could not release windowhandle (%i)\n", error);
        }
    }
    window->device_context = nullptr;
    if (window->raw_input & OS_RAW_MOUSE_ACTIVE) os_platform_raw_mouse_off(window);
    os_window_list_remove(window);
    if (b) os_free(b);
    window->backend = nullptr;
    os_lnx_deliver(window, OS_EVENT_WINDOW_CLOSE);
}

void os_platform_raw_mouse_on(OsWindow *window) {
    // X has no raw-input registration the library would use; the bits are
    // kept as on Windows so both backends report the same state.
    if (!(window->flags & OS_WINDOW_OPEN) || !(window->raw_input & OS_RAW_MOUSE_WANTED)) return;
    window->raw_input |= OS_RAW_MOUSE_REGISTERED | OS_RAW_MOUSE_ACTIVE;
}

void os_platform_raw_mouse_off(OsWindow *window) {
    if (!(window->raw_input & OS_RAW_MOUSE_ACTIVE)) return;
    window->raw_input &= (u8)~OS_RAW_MOUSE_ACTIVE;
    i32 count = 0;
    OsWindow **list = nullptr;
    os_get_windows(&count, nullptr, &list);
    for (i32 i = 0; i < count; i++) list[i]->raw_input &= (u8)~OS_RAW_MOUSE_REGISTERED;
}
