// Synthetic input through XTest, the mouse-button query and the raw mouse
// switches. The tracker and the typing rules are shared (os_common.cpp).
#include "os_lnx_x11.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

// XTest on the library's connection; null when there is no display or the
// server lacks the extension.
static Display *os_lnx_xtest(void) {
    static int available = -1;
    Display *display = os_lnx_display();
    if (!display) return nullptr;
    if (available < 0) {
        int event_base, error_base, major, minor;
        available = XTestQueryExtension(display, &event_base, &error_base, &major, &minor) ? 1 : 0;
    }
    return available ? display : nullptr;
}

struct OsLnxVirtualKey {
    u8 key;
    KeySym keysym;
};

// The keys the events name by these virtual keys (punctuation by its place on
// a US keyboard, as the event side reads it back).
static const OsLnxVirtualKey os_lnx_virtual_keys[] = {
    {0x08, XK_BackSpace}, {0x09, XK_Tab},          {0x0D, XK_Return},     {0x10, XK_Shift_L},
    {0x11, XK_Control_L}, {0x12, XK_Alt_L},        {0x13, XK_Pause},      {0x14, XK_Caps_Lock},
    {0x1B, XK_Escape},    {0x20, XK_space},        {0x21, XK_Prior},      {0x22, XK_Next},
    {0x23, XK_End},       {0x24, XK_Home},         {0x25, XK_Left},       {0x26, XK_Up},
    {0x27, XK_Right},     {0x28, XK_Down},         {0x2D, XK_Insert},     {0x2E, XK_Delete},
    {0x5B, XK_Super_L},   {0x5C, XK_Super_R},      {0x5D, XK_Menu},       {0x60, XK_KP_0},
    {0x61, XK_KP_1},      {0x62, XK_KP_2},         {0x63, XK_KP_3},       {0x64, XK_KP_4},
    {0x65, XK_KP_5},      {0x66, XK_KP_6},         {0x67, XK_KP_7},       {0x68, XK_KP_8},
    {0x69, XK_KP_9},      {0x6A, XK_KP_Multiply},  {0x6B, XK_KP_Add},     {0x6D, XK_KP_Subtract},
    {0x6E, XK_KP_Decimal}, {0x6F, XK_KP_Divide},   {0x90, XK_Num_Lock},   {0x91, XK_Scroll_Lock},
    {0xBA, XK_semicolon}, {0xBB, XK_equal},        {0xBC, XK_comma},      {0xBD, XK_minus},
    {0xBE, XK_period},    {0xBF, XK_slash},        {0xC0, XK_grave},      {0xDB, XK_bracketleft},
    {0xDC, XK_backslash}, {0xDD, XK_bracketright}, {0xDE, XK_apostrophe}, {0xE2, XK_less},
};

static KeySym os_lnx_virtual_key_keysym(u16 key) {
    if (key >= 'A' && key <= 'Z') return XK_a + (key - 'A');
    if (key >= '0' && key <= '9') return XK_0 + (key - '0');
    if (key >= 0x70 && key <= 0x87) return XK_F1 + (key - 0x70);
    for (const OsLnxVirtualKey &entry : os_lnx_virtual_keys)
        if (entry.key == key) return entry.keysym;
    return NoSymbol;
}

void os_platform_inject_key(u16 key, bool down) {
    Display *display = os_lnx_xtest();
    if (!display) return;
    KeySym keysym = os_lnx_virtual_key_keysym(key);
    // Xlib looks through the unshifted column of every key first, so a
    // symbol is found on the key that carries it plainly (XK_less on the
    // 102nd key rather than as Shift+comma).
    KeyCode keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(display, keysym);
    if (!keycode) return;
    XTestFakeKeyEvent(display, keycode, down ? True : False, CurrentTime);
    XFlush(display);
}

bool os_get_mouse_button_state(u16 code) {
    unsigned mask;
    if (code == OS_MOUSE_LEFT) mask = Button1Mask;
    else if (code == OS_MOUSE_MIDDLE) mask = Button2Mask;
    else if (code == OS_MOUSE_RIGHT) mask = Button3Mask;
    else return true;
    Display *display = os_lnx_display();
    if (!display) return false;
    // X keeps no per-message input state: this is the pointer's state now.
    Window root, child;
    int root_x, root_y, x, y;
    unsigned state = 0;
    if (!XQueryPointer(display, os_lnx_x.root, &root, &child, &root_x, &root_y, &x, &y, &state)) return false;
    return (state & mask) != 0;
}

static void os_lnx_send_button(u16 code, bool down) {
    unsigned button;
    if (code == OS_MOUSE_LEFT) button = 1;
    else if (code == OS_MOUSE_MIDDLE) button = 2;
    else if (code == OS_MOUSE_RIGHT) button = 3;
    else return;
    Display *display = os_lnx_xtest();
    if (!display) return;
    XTestFakeButtonEvent(display, button, down ? True : False, CurrentTime);
    XFlush(display);
}

void os_send_mouse_down(u16 code) { os_lnx_send_button(code, true); }

void os_send_mouse_up(u16 code) { os_lnx_send_button(code, false); }

void os_send_mouse_move(i32 dx, i32 dy) {
    Display *display = os_lnx_xtest();
    if (!display) return;
    XTestFakeRelativeMotionEvent(display, dx, dy, CurrentTime);
    XFlush(display);
}

void os_send_mouse_move_absolute(i32 x, i32 y) {
    Display *display = os_lnx_xtest();
    if (!display) return;
    // The same scale as Windows: 65536 normalised units span the screen.
    int screen = os_lnx_x.screen;
    i64 width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
    int px = (int)((i64)x * width / 65536), py = (int)((i64)y * height / 65536);
    XTestFakeMotionEvent(display, screen, px, py, CurrentTime);
    XFlush(display);
}

