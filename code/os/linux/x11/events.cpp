// The X event pump: every X event of a library window becomes the OsEvent
// the Windows window procedure would have delivered for the same input.
#include "os_lnx_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <poll.h>
#include <stdint.h>
#include <stdlib.h>

OsEvent os_lnx_event;
static OsEventCallback *os_lnx_callback;

void os_set_event_callback(OsEventCallback *callback) { os_lnx_callback = callback; }

void os_lnx_deliver(OsWindow *window, u8 kind) {
    os_lnx_event.kind = kind;
    os_lnx_event.window = window;
    if (os_lnx_callback) os_lnx_callback(&os_lnx_event);
}

//~ Keys

struct OsLnxKeyMap {
    KeySym keysym;
    u8 code;
};

// Keysyms that are not letters, digits or F-keys (those go by range).
static const OsLnxKeyMap os_lnx_key_table[] = {
    {XK_BackSpace, 0x08}, {XK_Tab, 0x09}, {XK_ISO_Left_Tab, 0x09}, {XK_Clear, 0x0C},
    {XK_Return, 0x0D}, {XK_KP_Enter, 0x0D}, {XK_Shift_L, 0x10}, {XK_Shift_R, 0x10},
    {XK_Control_L, 0x11}, {XK_Control_R, 0x11}, {XK_Alt_L, 0x12}, {XK_Alt_R, 0x12},
    {XK_ISO_Level3_Shift, 0x12}, {XK_Meta_L, 0x12}, {XK_Meta_R, 0x12}, {XK_Pause, 0x13},
    {XK_Caps_Lock, 0x14}, {XK_Escape, 0x1B}, {XK_space, 0x20}, {XK_KP_Space, 0x20},
    {XK_Prior, 0x21}, {XK_KP_Prior, 0x21}, {XK_Next, 0x22}, {XK_KP_Next, 0x22},
    {XK_End, 0x23}, {XK_KP_End, 0x23}, {XK_Home, 0x24}, {XK_KP_Home, 0x24},
    {XK_Left, 0x25}, {XK_KP_Left, 0x25}, {XK_Up, 0x26}, {XK_KP_Up, 0x26},
    {XK_Right, 0x27}, {XK_KP_Right, 0x27}, {XK_Down, 0x28}, {XK_KP_Down, 0x28},
    {XK_Select, 0x29}, {XK_Print, 0x2C}, {XK_Execute, 0x2B}, {XK_Insert, 0x2D},
    {XK_KP_Insert, 0x2D}, {XK_Delete, 0x2E}, {XK_KP_Delete, 0x2E}, {XK_Help, 0x2F},
    {XK_KP_Begin, 0x0C}, {XK_Super_L, 0x5B}, {XK_Super_R, 0x5C}, {XK_Menu, 0x5D},
    {XK_KP_0, 0x60}, {XK_KP_1, 0x61}, {XK_KP_2, 0x62}, {XK_KP_3, 0x63}, {XK_KP_4, 0x64},
    {XK_KP_5, 0x65}, {XK_KP_6, 0x66}, {XK_KP_7, 0x67}, {XK_KP_8, 0x68}, {XK_KP_9, 0x69},
    {XK_KP_Multiply, 0x6A}, {XK_KP_Add, 0x6B}, {XK_KP_Separator, 0x6C}, {XK_KP_Subtract, 0x6D},
    {XK_KP_Decimal, 0x6E}, {XK_KP_Divide, 0x6F}, {XK_Num_Lock, 0x90}, {XK_Scroll_Lock, 0x91},
    // Punctuation by its place on a US keyboard, as Windows names it.
    {XK_semicolon, 0xBA}, {XK_colon, 0xBA}, {XK_equal, 0xBB}, {XK_plus, 0xBB},
    {XK_comma, 0xBC}, {XK_minus, 0xBD}, {XK_underscore, 0xBD},
    // Keys are read by their unshifted keysym, and "less" is only ever that
    // of the extra key of ISO keyboards (beside left Shift): VK_OEM_102.
    {XK_less, 0xE2},
    {XK_period, 0xBE}, {XK_greater, 0xBE}, {XK_slash, 0xBF}, {XK_question, 0xBF},
    {XK_grave, 0xC0}, {XK_asciitilde, 0xC0}, {XK_bracketleft, 0xDB}, {XK_braceleft, 0xDB},
    {XK_backslash, 0xDC}, {XK_bar, 0xDC}, {XK_bracketright, 0xDD}, {XK_braceright, 0xDD},
    {XK_apostrophe, 0xDE}, {XK_quotedbl, 0xDE},
};

static u8 os_lnx_keysym_to_code(KeySym keysym) {
    if (keysym >= XK_a && keysym <= XK_z) return (u8)('A' + (keysym - XK_a));
    if (keysym >= XK_A && keysym <= XK_Z) return (u8)keysym;
    if (keysym >= XK_0 && keysym <= XK_9) return (u8)keysym;
    if (keysym >= XK_F1 && keysym <= XK_F24) return (u8)(0x70 + (keysym - XK_F1));
    for (const OsLnxKeyMap &entry : os_lnx_key_table)
        if (entry.keysym == keysym) return entry.code;
    return 0;
}

static u8 os_lnx_key_code(XKeyEvent *event) {
    Display *display = os_lnx_x.display;
    KeyCode keycode = (KeyCode)event->keycode;
    // The virtual key names the key, not the character: the unshifted
    // keysym of the active layout group, so Shift+1 is still '1'.
    unsigned group = (event->state >> 13) & 3;
    KeySym base = XkbKeycodeToKeysym(display, keycode, group, 0);
    if (base == NoSymbol) base = XkbKeycodeToKeysym(display, keycode, 0, 0);
    if (IsKeypadKey(base) || (base >= XK_KP_Home && base <= XK_KP_Delete)) {
        // Number Lock decides between digits and navigation, as on Windows.
        KeySym effective = NoSymbol;
        char ignored[8];
        XLookupString(event, ignored, sizeof ignored, &effective, nullptr);
        if (effective != NoSymbol) base = effective;
    }
    u8 code = os_lnx_keysym_to_code(base);
    if (!code) {
        // Layouts with symbols on the unshifted digit row (French) still
        // give the digit's key code from the shifted level.
        KeySym shifted = XkbKeycodeToKeysym(display, keycode, group, 1);
        if (shifted >= XK_0 && shifted <= XK_9) code = (u8)shifted;
    }
    return code;
}

// Keys the server reported down, by X key code, to tell repeats apart.
static bool os_lnx_key_down[256];

static void os_lnx_deliver_utf16(OsWindow *window, u32 codepoint) {
    if (codepoint == 8) return; // Backspace reaches the application as a key only
    if (codepoint == 13) codepoint = 10;
    if (codepoint >= 0x10000) {
        codepoint -= 0x10000;
        os_lnx_event.character = (i32)(0xD800 + (codepoint >> 10));
        os_lnx_deliver(window, OS_EVENT_CHAR);
        if (!(window->flags & OS_WINDOW_OPEN)) return;
        os_lnx_event.character = (i32)(0xDC00 + (codepoint & 0x3FF));
    } else {
        os_lnx_event.character = (i32)codepoint;
    }
    os_lnx_deliver(window, OS_EVENT_CHAR);
}

static void os_lnx_deliver_text(OsWindow *window, const unsigned char *text, int length) {
    int i = 0;
    while (i < length && (window->flags & OS_WINDOW_OPEN)) {
        u32 c = text[i];
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        if (extra) c &= extra == 1 ? 0x1F : extra == 2 ? 0x0F : 0x07;
        if (i + extra >= length) return;
        for (int k = 1; k <= extra; k++) c = (c << 6) | (text[i + k] & 0x3F);
        i += 1 + extra;
        os_lnx_deliver_utf16(window, c);
    }
}

static void os_lnx_key_text(OsWindow *window, XKeyEvent *event) {
    // Compose and dead keys are consumed here and come out as one character
    // with a later key.
    if (XFilterEvent((XEvent *)event, None)) return;
    OsLnxWindow *b = os_lnx_window(window);
    KeySym keysym = NoSymbol;
    char buffer[64];
    int length = 0;
    if (b && b->input_context) {
        Status status;
        length = Xutf8LookupString(b->input_context, event, buffer, sizeof buffer, &keysym, &status);
        if (status != XLookupChars && status != XLookupBoth) length = 0;
    } else {
        length = XLookupString(event, buffer, sizeof buffer, &keysym, nullptr);
        // Without an input method the bytes are Latin-1; keysyms from
        // 0x01000000 carry their code point directly.
        if (length == 0 && (keysym & 0xFF000000) == 0x01000000) {
            os_lnx_deliver_utf16(window, (u32)(keysym & 0x00FFFFFF));
            return;
        }
        for (int i = 0; i < length && (window->flags & OS_WINDOW_OPEN); i++)
            os_lnx_deliver_utf16(window, (unsigned char)buffer[i]);
        return;
    }
    // Windows types no character for Delete.
    if (keysym == XK_Delete || keysym == XK_KP_Delete) return;
    os_lnx_deliver_text(window, (const unsigned char *)buffer, length);
}

static void os_lnx_key_event(OsWindow *window, XEvent *event) {
    XKeyEvent *key = &event->xkey;
    bool press = event->type == KeyPress;
    u8 code = os_lnx_key_code(key);
    bool repeat = press && os_lnx_key_down[key->keycode & 0xFF];
    os_lnx_key_down[key->keycode & 0xFF] = press;
    // Windows turns keys pressed while Alt is held (without Ctrl) into
    // system keys, of which only Alt, the arrows and a Ctrl release come
    // through, and types no characters for them.
    bool alt = (key->state & Mod1Mask) || code == 0x12;
    bool system = alt && !(key->state & ControlMask) && code != 0x11;
    bool passes = !system || code == 0x12 || (code >= 0x25 && code <= 0x28);
    if (code && passes) {
        os_lnx_event.key.code = code;
        os_lnx_event.key.pressed = press ? 1 : 0;
        os_lnx_deliver(window, repeat ? OS_EVENT_KEY_REPEAT : OS_EVENT_KEY);
    }
    if (press && !system && (window->flags & OS_WINDOW_OPEN)) os_lnx_key_text(window, key);
}

//~ Buttons

struct OsLnxClick {
    u32 time;
    i32 x, y;
};
static OsLnxClick os_lnx_clicks[3];

static const u32 os_lnx_double_click_ms = 500; // Windows' defaults
static const i32 os_lnx_double_click_size = 4;

static OsWindow *os_lnx_focused;
static void os_lnx_focus_event(OsWindow *window, bool gained);

static void os_lnx_button_event(OsWindow *window, XButtonEvent *event, bool press) {
    if (event->button == Button4 || event->button == Button5) {
        // One wheel click is one 120-unit notch; the release carries nothing.
        if (!press) return;
        os_lnx_event.wheel.x = event->x_root;
        os_lnx_event.wheel.y = event->y_root;
        os_lnx_event.wheel.notches = event->button == Button4 ? 1 : -1;
        os_lnx_deliver(window, OS_EVENT_MOUSE_WHEEL);
        return;
    }
    int index;
    if (event->button == Button1) index = 0;
    else if (event->button == Button2) index = 1;
    else if (event->button == Button3) index = 2;
    else return;
    u8 state = OS_BUTTON_UP;
    if (press) {
        // The press's implicit pointer grab keeps the moves and the release
        // coming to this window, as the mouse capture does on Windows.
        OsLnxClick &last = os_lnx_clicks[index];
        u32 t = (u32)event->time;
        // Time 0 means no press is remembered, so a first click soon after
        // the server started is not taken for the second of a pair.
        if (last.time && t - last.time < os_lnx_double_click_ms && abs(event->x - last.x) < os_lnx_double_click_size &&
            abs(event->y - last.y) < os_lnx_double_click_size) {
            last.time = 0;
            state = OS_BUTTON_DOUBLE;
        } else {
            last.time = t ? t : 1;
            last.x = event->x;
            last.y = event->y;
            state = OS_BUTTON_DOWN;
        }
        // Nobody activates a clicked window without a window manager. On
        // Windows the focus moves before the press arrives; X would report it
        // after, possibly a frame later, and a program that resets its drag
        // state on focus would lose the press. So report the change now.
        if (!os_lnx_wm_running() && os_lnx_focused != window) {
            XSetInputFocus(os_lnx_x.display, event->window, RevertToPointerRoot, event->time);
            if (os_lnx_focused) os_lnx_focus_event(os_lnx_focused, false);
            os_lnx_focus_event(window, true);
            os_lnx_event.window = window;
        }
    }
    os_lnx_event.button.code = (u16)(OS_MOUSE_LEFT + index);
    os_lnx_event.button.x = event->x_root;
    os_lnx_event.button.y = event->y_root;
    os_lnx_event.button.state = state;
    os_lnx_deliver(window, OS_EVENT_MOUSE_BUTTON);
}

//~ Window state

static void os_lnx_read_frame_extents(OsWindow *window) {
    OsLnxWindow *b = os_lnx_window(window);
    long extents[4] = {0, 0, 0, 0};
    if (os_lnx_read_longs(os_lnx_x.display, b->id, os_lnx_x.atoms.net_frame_extents, XA_CARDINAL, extents, 4) != 4)
        extents[0] = extents[1] = extents[2] = extents[3] = 0;
    b->frame_left = (i32)extents[0];
    b->frame_right = (i32)extents[1];
    b->frame_top = (i32)extents[2];
    b->frame_bottom = (i32)extents[3];
    os_lnx_set_geometry(window, window->client_x, window->client_y, b->x_width, b->x_height);
}

static bool os_lnx_reads_iconic(OsWindow *window) {
    long state[2] = {0, 0};
    return os_lnx_read_longs(os_lnx_x.display, os_lnx_window(window)->id, os_lnx_x.atoms.wm_state,
                             os_lnx_x.atoms.wm_state, state, 2) >= 1 &&
           state[0] == IconicState;
}

void os_lnx_set_iconic(OsWindow *window, bool iconic) {
    OsLnxWindow *b = os_lnx_window(window);
    if (b->iconic == iconic) return;
    b->iconic = iconic;
    // A minimised window has a 0 x 0 client area on Windows.
    os_lnx_set_geometry(window, window->client_x, window->client_y, b->x_width, b->x_height);
}

// Each change of the window last reported as focused (os_lnx_focused) is
// reported once, whether it came from X or from a click above.
static void os_lnx_focus_event(OsWindow *window, bool gained) {
    if (gained == (os_lnx_focused == window)) return;
    os_lnx_focused = gained ? window : nullptr;
    if (gained) {
        window->flags |= OS_WINDOW_FOCUSED;
        os_platform_raw_mouse_on(window);
        OsLnxWindow *b = os_lnx_window(window);
        if (b->urgent) {
            b->urgent = false;
            XWMHints *hints = XGetWMHints(os_lnx_x.display, b->id);
            if (hints) {
                hints->flags &= ~XUrgencyHint;
                XSetWMHints(os_lnx_x.display, b->id, hints);
                XFree(hints);
            }
        }
    } else {
        window->flags &= (u16)~OS_WINDOW_FOCUSED;
        if (window->flags & OS_WINDOW_OPEN) os_platform_raw_mouse_off(window);
        // Releases that happen elsewhere are never seen here.
        for (bool &down : os_lnx_key_down) down = false;
    }
    os_lnx_event.focus.gained = gained ? 1 : 0;
    os_lnx_deliver(window, OS_EVENT_FOCUS);
}

static void os_lnx_dispatch(XEvent *event) {
    // Raw motion (selected on the root) only marks the pointer as moved.
    if (event->type == GenericEvent && event->xcookie.extension == os_lnx_x.xi_opcode) {
        os_lnx_x.pointer_moved = true;
        return;
    }
    int randr = os_lnx_x.randr_event_base;
    if (randr >= 0 && (event->type == randr + RRScreenChangeNotify || event->type == randr + RRNotify)) {
        // Keeps Xlib's idea of the screen size current.
        XRRUpdateConfiguration(event);
        os_lnx_deliver(nullptr, OS_EVENT_DISPLAY_CHANGE);
        return;
    }
    if ((event->type == KeyPress || event->type == KeyRelease) && os_lnx_hotkey_event(&event->xkey)) return;
    OsWindow *window = os_window_list_find((void *)(uintptr_t)event->xany.window);
    if (!window) {
        // Compose state of the input method lives in events of no window too.
        if (event->type == KeyPress || event->type == KeyRelease) XFilterEvent(event, None);
        return;
    }
    OsLnxWindow *b = os_lnx_window(window);
    os_lnx_event.window = window;
    // A warp onto our windows shows here, as no raw motion.
    if (event->type == MotionNotify || event->type == ButtonPress || event->type == ButtonRelease)
        os_lnx_x.pointer_moved = true;
    switch (event->type) {
    case MotionNotify:
        os_lnx_event.mouse.x = event->xmotion.x_root;
        os_lnx_event.mouse.y = event->xmotion.y_root;
        os_lnx_deliver(window, OS_EVENT_MOUSE_MOVE);
        break;
    case ButtonPress:
    case ButtonRelease:
        os_lnx_button_event(window, &event->xbutton, event->type == ButtonPress);
        break;
    case KeyPress:
    case KeyRelease:
        os_lnx_key_event(window, event);
        break;
    case FocusIn:
    case FocusOut:
        // The window manager's keyboard grabs move no real focus.
        if (event->xfocus.mode == NotifyGrab || event->xfocus.mode == NotifyUngrab) break;
        os_lnx_focus_event(window, event->type == FocusIn);
        break;
    case ConfigureNotify: {
        XConfigureEvent *c = &event->xconfigure;
        // Older than our last move or resize, which already set the record.
        if (c->serial < b->configure_serial) break;
        b->x_width = c->width;
        b->x_height = c->height;
        // Without a frame around it the position is already in root
        // coordinates; a window manager's synthetic notice gives them too.
        if (!b->reparented || c->send_event) os_lnx_set_geometry(window, c->x, c->y, c->width, c->height);
        else os_lnx_refresh_geometry(window, c->width, c->height);
        break;
    }
    case ReparentNotify:
        b->reparented = event->xreparent.parent != os_lnx_x.root;
        os_lnx_refresh_geometry(window, b->x_width, b->x_height);
        break;
    case PropertyNotify:
        if (event->xproperty.atom == os_lnx_x.atoms.net_frame_extents) {
            os_lnx_read_frame_extents(window);
        } else if (event->xproperty.atom == os_lnx_x.atoms.wm_state) {
            // Minimised or restored by the window manager (task bar, keys).
            bool iconic = os_lnx_reads_iconic(window);
            if (iconic != b->iconic) {
                b->mapped = !iconic;
                os_lnx_set_iconic(window, iconic);
            }
        }
        break;
    case MapNotify:
        // Restored from the task bar.
        if (b->iconic) {
            b->mapped = true;
            os_lnx_set_iconic(window, false);
        }
        break;
    case Expose:
        // X keeps no copy of an uncovered window (a compositor would); the
        // canvas still holds the last frame, so show it again.
        if (event->xexpose.count == 0) os_present_window(window);
        break;
    case ClientMessage:
        if (event->xclient.message_type == os_lnx_x.atoms.wm_protocols &&
            (Atom)event->xclient.data.l[0] == os_lnx_x.atoms.wm_delete_window)
            os_lnx_close_window(window, true);
        break;
    case DestroyNotify:
        os_lnx_close_window(window, false);
        break;
    default:
        break;
    }
}

static void os_lnx_close_all(void) {
    i32 count = 0;
    OsWindow **list = nullptr;
    os_get_windows(&count, nullptr, &list);
    while (count > 0) {
        os_lnx_close_window(list[0], false);
        os_get_windows(&count, nullptr, &list);
    }
}

// Messages of os_instance_send come with the events, display or not.
static i32 os_lnx_pump_instance_messages(void) {
    i32 handled = 0;
    StrSlice message;
    while (os_lnx_instance_take(&message)) {
        os_lnx_event.message.text = message.data;
        os_lnx_event.message.length = (i32)message.length;
        os_lnx_deliver(nullptr, OS_EVENT_INSTANCE_MESSAGE);
        handled++;
    }
    return handled;
}

i32 os_pump_messages(void) {
    i32 handled = os_lnx_pump_instance_messages();
    Display *display = os_lnx_x.display;
    if (!display) return handled;
    while (!os_lnx_x.lost && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        handled++;
        os_lnx_dispatch(&event);
    }
    // The server went away, or the process was asked to stop: every window
    // is gone, and the application learns it through the close events.
    if (os_lnx_x.lost || os_lnx_stop_signal) os_lnx_close_all();
    return handled;
}

i32 os_wait_and_pump_messages(void) {
    Display *display = os_lnx_x.display;
    if (!display || os_lnx_x.lost) {
        if (display) os_lnx_close_all();
        return 0;
    }
    XEvent event;
    XPeekEvent(display, &event);
    return os_pump_messages();
}

bool os_wait_for_events(u32 timeout_ms) {
    Display *display = os_lnx_x.display;
    bool connected = display && !os_lnx_x.lost;
    int channel = os_lnx_instance_fd();
    if (!connected && channel < 0) return false;
    // Sends what is buffered (the server must see our requests before we
    // sleep on its answers) and reads what already came.
    if ((connected && XEventsQueued(display, QueuedAfterFlush) > 0) || os_lnx_stop_signal) return true;
    // Raw motion is selected on the root, so device motion anywhere wakes
    // this; a message to the instance name and a stop signal end it too.
    pollfd waits[2];
    nfds_t count = 0;
    if (connected) waits[count++] = {ConnectionNumber(display), POLLIN, 0};
    if (channel >= 0) waits[count++] = {channel, POLLIN, 0};
    return poll(waits, count, (int)(timeout_ms > 0x7FFFFFFF ? 0x7FFFFFFF : timeout_ms)) > 0 || os_lnx_stop_signal;
}
