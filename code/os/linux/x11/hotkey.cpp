// System-wide hotkeys: passive key grabs on the root window, so the key
// reaches this client whichever window has the focus.
#include "os_lnx_x11.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

struct OsLnxHotkey {
    OsWindow *window; // null: the slot is free
    i32 id;
    KeyCode keycode;
    unsigned modifiers;
    bool down; // pressed and not yet released: later presses are repeats
};

enum { OS_LNX_HOTKEY_SLOTS = 8 };
static OsLnxHotkey os_lnx_hotkeys[OS_LNX_HOTKEY_SLOTS];

static KeySym os_lnx_hotkey_keysym(u16 key) {
    if (key >= 'A' && key <= 'Z') return XK_a + (key - 'A');
    if (key >= '0' && key <= '9') return XK_0 + (key - '0');
    if (key >= 0x70 && key <= 0x87) return XK_F1 + (key - 0x70);
    switch (key) {
    case 0x13: return XK_Pause;
    case 0x20: return XK_space;
    case 0x21: return XK_Prior;
    case 0x22: return XK_Next;
    case 0x23: return XK_End;
    case 0x24: return XK_Home;
    case 0x2C: return XK_Print;
    case 0x2D: return XK_Insert;
    default: return NoSymbol;
    }
}

// The modifier bit Num Lock sets on this server (usually Mod2).
static unsigned os_lnx_num_lock_mask(Display *display) {
    unsigned mask = 0;
    KeyCode num_lock = XKeysymToKeycode(display, XK_Num_Lock);
    XModifierKeymap *map = XGetModifierMapping(display);
    if (!map) return 0;
    for (int modifier = 0; modifier < 8 && num_lock; modifier++)
        for (int k = 0; k < map->max_keypermod; k++)
            if (map->modifiermap[modifier * map->max_keypermod + k] == num_lock) mask = 1u << modifier;
    XFreeModifiermap(map);
    return mask;
}

// The lock states a grab must also cover, since X matches modifiers exactly.
static void os_lnx_hotkey_grab(Display *display, const OsLnxHotkey &hotkey, bool grab) {
    unsigned num_lock = os_lnx_num_lock_mask(display);
    const unsigned locks[4] = {0, LockMask, num_lock, LockMask | num_lock};
    for (unsigned lock : locks) {
        if (grab)
            XGrabKey(display, hotkey.keycode, hotkey.modifiers | lock, os_lnx_x.root, False, GrabModeAsync,
                     GrabModeAsync);
        else
            XUngrabKey(display, hotkey.keycode, hotkey.modifiers | lock, os_lnx_x.root);
    }
}

void os_unregister_hotkey(OsWindow *window, i32 id) {
    Display *display = os_lnx_x.display;
    for (OsLnxHotkey &hotkey : os_lnx_hotkeys) {
        if (!hotkey.window || hotkey.window != window || hotkey.id != id) continue;
        if (display && !os_lnx_x.lost) {
            os_lnx_trap_begin();
            os_lnx_hotkey_grab(display, hotkey, false);
            os_lnx_trap_end();
        }
        hotkey.window = nullptr;
    }
}

i32 os_register_hotkey(OsWindow *window, i32 id, u8 modifiers, u16 key) {
    os_unregister_hotkey(window, id);
    Display *display = os_lnx_display();
    if (!display || os_lnx_x.lost || !window || !(window->flags & OS_WINDOW_OPEN)) return OS_HOTKEY_REFUSED;
    KeySym keysym = os_lnx_hotkey_keysym(key);
    KeyCode keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(display, keysym);
    OsLnxHotkey *slot = nullptr;
    for (OsLnxHotkey &hotkey : os_lnx_hotkeys)
        if (!hotkey.window && !slot) slot = &hotkey;
    if (!keycode || !slot) return OS_HOTKEY_REFUSED;

    OsLnxHotkey hotkey = {window, id, keycode, 0, false};
    if (modifiers & OS_HOTKEY_ALT) hotkey.modifiers |= Mod1Mask;
    if (modifiers & OS_HOTKEY_CTRL) hotkey.modifiers |= ControlMask;
    if (modifiers & OS_HOTKEY_SHIFT) hotkey.modifiers |= ShiftMask;
    if (modifiers & OS_HOTKEY_WIN) hotkey.modifiers |= Mod4Mask;
    os_lnx_trap_begin();
    os_lnx_hotkey_grab(display, hotkey, true);
    int error = os_lnx_trap_end();
    if (error) {
        // Only this client's grabs are released: another's stays untouched.
        os_lnx_trap_begin();
        os_lnx_hotkey_grab(display, hotkey, false);
        os_lnx_trap_end();
        return error == BadAccess ? OS_HOTKEY_TAKEN : OS_HOTKEY_REFUSED;
    }
    // Without it a held key arrives as release and press pairs, which
    // could not be told from a second press.
    XkbSetDetectableAutoRepeat(display, True, nullptr);
    *slot = hotkey;
    return OS_HOTKEY_REGISTERED;
}

bool os_lnx_hotkey_event(XKeyEvent *event) {
    if (event->window != os_lnx_x.root) return false;
    bool press = event->type == KeyPress;
    unsigned relevant = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;
    for (OsLnxHotkey &hotkey : os_lnx_hotkeys) {
        if (!hotkey.window || hotkey.keycode != event->keycode) continue;
        if (!press) {
            // The modifiers may be let go first; the key's release counts.
            hotkey.down = false;
            return true;
        }
        if ((event->state & relevant) != hotkey.modifiers) continue;
        if (hotkey.down) return true;
        hotkey.down = true;
        os_lnx_event.hotkey.id = hotkey.id;
        os_lnx_deliver(hotkey.window, OS_EVENT_HOTKEY);
        return true;
    }
    return false;
}
