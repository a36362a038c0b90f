// Window operations. Placement works on the client rectangle, which X
// places exactly (static gravity for managed windows); the outer rectangle
// of the formulas is the client rectangle widened by the frame the window
// manager reports, and equals it without one.
#include "os_lnx_x11.h"

#include <X11/Xatom.h>
#include <X11/extensions/shape.h>

static OsLnxWindow *os_lnx_live(OsWindow *window) {
    if (!window || !(window->flags & OS_WINDOW_OPEN) || os_lnx_x.lost) return nullptr;
    return os_lnx_window(window);
}

// Outer rectangle to client rectangle with the record's frame sizes.
static void os_lnx_place_outer(OsWindow *window, i32 x, i32 y, i32 width, i32 height) {
    i32 left = window->client_x - window->window_x;
    i32 top = window->client_y - window->window_y;
    i32 extra_width = window->window_width - window->client_width;
    i32 extra_height = window->window_height - window->client_height;
    if (window->client_width == 0 || window->client_height == 0) extra_width = extra_height = 0;
    os_lnx_place_client(window, x + left, y + top, width - extra_width, height - extra_height);
}

static void os_lnx_send_state(OsWindow *window, long action, Atom first, Atom second) {
    // The window manager owns _NET_WM_STATE of a mapped window; without one
    // the property is ours to write.
    OsLnxWindow *b = os_lnx_window(window);
    Display *display = os_lnx_x.display;
    if (b->mapped && !b->override_redirect && os_lnx_wm_running()) {
        XEvent event = {};
        event.xclient.type = ClientMessage;
        event.xclient.window = b->id;
        event.xclient.message_type = os_lnx_x.atoms.net_wm_state;
        event.xclient.format = 32;
        event.xclient.data.l[0] = action;
        event.xclient.data.l[1] = (long)first;
        event.xclient.data.l[2] = (long)second;
        event.xclient.data.l[3] = 1;
        XSendEvent(display, os_lnx_x.root, False, SubstructureNotifyMask | SubstructureRedirectMask, &event);
    } else {
        os_lnx_apply_hints(window);
    }
}

void os_show_window(OsWindow *window) {
    OsLnxWindow *b = os_lnx_live(window);
    if (!b) return;
    b->shown = true;
    os_lnx_update_mapping(window);
    XFlush(os_lnx_x.display);
}

void os_hide_window(OsWindow *window) {
    OsLnxWindow *b = os_lnx_live(window);
    if (!b) return;
    b->shown = false;
    os_lnx_update_mapping(window);
    XFlush(os_lnx_x.display);
}

void os_focus_window(OsWindow *window) {
    OsLnxWindow *b = os_lnx_live(window);
    if (!b) return;
    window->flags |= OS_WINDOW_FOCUSED;
    Display *display = os_lnx_x.display;
    XRaiseWindow(display, b->id);
    if (!b->mapped) return;
    if (!b->override_redirect && os_lnx_wm_running()) {
        XEvent event = {};
        event.xclient.type = ClientMessage;
        event.xclient.window = b->id;
        event.xclient.message_type = os_lnx_x.atoms.net_active_window;
        event.xclient.format = 32;
        event.xclient.data.l[0] = 1; // from an application
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, os_lnx_x.root, False, SubstructureNotifyMask | SubstructureRedirectMask, &event);
    }
    // A window the server has not mapped yet refuses the focus; trapped.
    os_lnx_trap_begin();
    XSetInputFocus(display, b->id, RevertToPointerRoot, CurrentTime);
    os_lnx_trap_end();
}

void os_minimize_window(OsWindow *window) {
    OsLnxWindow *b = os_lnx_live(window);
    if (!b || b->iconic) return;
    Display *display = os_lnx_x.display;
    if (b->mapped && !b->override_redirect && os_lnx_wm_running()) {
        XIconifyWindow(display, b->id, os_lnx_x.screen);
        b->mapped = false; // the window manager unmaps it
        os_lnx_set_iconic(window, true);
    } else {
        // Nobody to iconify it: hidden until restored, which is all a
        // minimised window is without a task bar.
        os_lnx_set_iconic(window, true);
        if (window->flags & OS_WINDOW_OPEN) os_lnx_update_mapping(window);
    }
    XFlush(display);
}

void os_restore_window(OsWindow *window) {
    OsLnxWindow *b = os_lnx_live(window);
    if (!b || !b->iconic) return;
    // Mapping an iconic window is how a client de-iconifies it.
    os_lnx_set_iconic(window, false);
    if (window->flags & OS_WINDOW_OPEN) os_lnx_update_mapping(window);
    XFlush(os_lnx_x.display);
}

void os_destroy_window(OsWindow *window) {
    if (!os_lnx_live(window)) return;
    os_lnx_close_window(window, true);
}

void os_move_window(OsWindow *window, i32 x, i32 y, i32 width, i32 height) {
    if (!os_lnx_live(window)) return;
    os_lnx_place_outer(window, x, y, width, height);
}

void os_set_window_client_rect(OsWindow *window, i32 x, i32 y, i32 width, i32 height) {
    if (!os_lnx_live(window)) return;
    // The frame is added to the size, as on Windows: subtracting it would
    // shrink a framed client by twice its frame.
    os_lnx_place_outer(window, x + window->window_x - window->client_x, y + window->window_y - window->client_y,
                       width + window->window_width - window->client_width,
                       height + window->window_height - window->client_height);
}

void os_set_window_position(OsWindow *window, i32 x, i32 y) {
    if (!os_lnx_live(window)) return;
    os_lnx_place_outer(window, x, y, window->window_width, window->window_height);
}

void os_set_window_client_position(OsWindow *window, i32 x, i32 y) {
    if (!os_lnx_live(window)) return;
    os_lnx_place_client(window, x, y, window->client_width, window->client_height);
}

void os_resize_window(OsWindow *window, i32 width, i32 height) {
    if (!os_lnx_live(window)) return;
    os_lnx_place_outer(window, window->window_x - (window->window_width - width) / 2,
                       window->window_y - (window->window_height - height) / 2, width, height);
}

void os_resize_window_client(OsWindow *window, i32 width, i32 height) {
    if (!os_lnx_live(window)) return;
    os_lnx_place_outer(window, window->window_x - (window->client_width - width) / 2,
                       window->window_y - (window->client_height - height) / 2,
                       width + window->window_width - window->client_width,
                       height + window->window_height - window->client_height);
}

void os_center_window(OsWindow *window) {
    OsMonitor *monitor = os_get_main_monitor();
    if (!os_lnx_live(window) || !monitor) return;
    os_lnx_place_outer(window, monitor->work_width / 2 - window->window_width / 2,
                       monitor->work_height / 2 - window->window_height / 2, window->window_width,
                       window->window_height);
}

void os_flash_window(OsWindow *window) {
    OsLnxWindow *b = os_lnx_live(window);
    if (!b) return;
    // Until the window gains focus: the urgency hint, which the focus
    // event clears, and the EWMH attention state for task bars.
    Display *display = os_lnx_x.display;
    XWMHints *hints = XGetWMHints(display, b->id);
    XWMHints fresh = {};
    XWMHints *use = hints ? hints : &fresh;
    use->flags |= XUrgencyHint;
    XSetWMHints(display, b->id, use);
    if (hints) XFree(hints);
    b->urgent = true;
    if (b->mapped && !b->override_redirect && os_lnx_wm_running())
        os_lnx_send_state(window, 1, os_lnx_x.atoms.net_wm_state_demands_attention, 0);
    XFlush(display);
}

void os_set_window_topmost(OsWindow *window, bool on) {
    OsLnxWindow *b = os_lnx_live(window);
    if (!b) return;
    if (((window->flags & OS_WINDOW_TOPMOST) != 0) == on) return;
    if (on) window->flags |= OS_WINDOW_TOPMOST;
    else window->flags &= (u16)~OS_WINDOW_TOPMOST;
    os_lnx_send_state(window, on ? 1 : 0, os_lnx_x.atoms.net_wm_state_above, 0);
    // Without a window manager there are no bands: on raises the window.
    if (on) XRaiseWindow(os_lnx_x.display, b->id);
    XFlush(os_lnx_x.display);
}

void os_set_window_decorated(OsWindow *window, bool decorated) {
    OsLnxWindow *b = os_lnx_live(window);
    if (!b) return;
    bool borderless = (window->flags & OS_WINDOW_BORDERLESS) != 0;
    if (decorated == !borderless) return;
    if (decorated) window->flags &= (u16)~OS_WINDOW_BORDERLESS;
    else window->flags |= OS_WINDOW_BORDERLESS;
    i32 x = window->client_x, y = window->client_y;
    i32 width = window->client_width, height = window->client_height;
    Display *display = os_lnx_x.display;
    bool override = os_lnx_wants_override(window->flags);
    if (override != b->override_redirect) {
        // The window manager only notices the attribute at the next map.
        bool was_mapped = b->mapped;
        if (was_mapped) {
            b->shown = false;
            os_lnx_update_mapping(window);
            b->shown = true;
        }
        XSetWindowAttributes attributes = {};
        attributes.override_redirect = override;
        XChangeWindowAttributes(display, b->id, CWOverrideRedirect, &attributes);
        b->override_redirect = override;
    }
    os_lnx_apply_hints(window);
    if (!decorated) b->frame_left = b->frame_right = b->frame_top = b->frame_bottom = 0;
    // The client area stays where it was; the frame grows around it.
    os_lnx_place_client(window, x, y, width, height);
}

void os_toggle_window_fullscreen(OsWindow *window) {
    (void)window;
    os_diagnostic("* TODO * os_toggle_window_fullscreen\n");
}
