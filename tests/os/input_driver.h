// Test side of the window tests: real input injected into the system and the
// screen read back, one implementation per platform. Windows: SendInput and
// the screen's device context. Linux: XTest and XGetImage on the root window.
#pragma once

#include <string>

#include "os/os.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

inline void test_send(INPUT input) { SendInput(1, &input, sizeof input); }

// Puts the pointer on the screen pixel (x, y) and reports the move.
inline void test_mouse_move(i32 x, i32 y) {
    SetCursorPos(x, y);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    // The normalised coordinate whose pixel is exactly (x, y).
    i32 w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    input.mi.dx = (LONG)(((i64)x * 65536 + w - 1) / w);
    input.mi.dy = (LONG)(((i64)y * 65536 + h - 1) / h);
    test_send(input);
}

inline void test_mouse_button(u16 code, bool down) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    if (code == OS_MOUSE_LEFT) input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    if (code == OS_MOUSE_MIDDLE) input.mi.dwFlags = down ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP;
    if (code == OS_MOUSE_RIGHT) input.mi.dwFlags = down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
    test_send(input);
}

// delta in the system's units: 120 per notch.
inline void test_mouse_wheel(i32 delta) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_WHEEL;
    input.mi.mouseData = (DWORD)delta;
    test_send(input);
}

// key: a Windows virtual-key code.
inline void test_key(u16 key, bool down) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = (WORD)MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    test_send(input);
}

// Whether the system's keyboard focus is on the window.
inline bool test_has_focus(OsWindow *window) { return GetFocus() == (HWND)window->handle; }

// The screen pixel as 0x00RRGGBB.
inline u32 test_screen_pixel(i32 x, i32 y) {
    HDC screen = GetDC(nullptr);
    COLORREF color = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return ((u32)GetRValue(color) << 16) | ((u32)GetGValue(color) << 8) | GetBValue(color);
}

// The title the system shows for the window, as UTF-8.
inline std::string test_window_title(OsWindow *window) {
    wchar_t wide[256] = {};
    GetWindowTextW((HWND)window->handle, wide, 256);
    char utf8[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
}

#else
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/XKBlib.h>
#include <X11/keysym.h>
#include <stdint.h>
#include <unistd.h>

// The test's own connection, apart from the library's.
inline Display *test_display(void) {
    static Display *display = XOpenDisplay(nullptr);
    return display;
}

inline void test_mouse_move(i32 x, i32 y) {
    Display *d = test_display();
    XTestFakeMotionEvent(d, DefaultScreen(d), x, y, CurrentTime);
    XSync(d, False);
}

inline void test_mouse_button(u16 code, bool down) {
    Display *d = test_display();
    unsigned button = code == OS_MOUSE_LEFT ? 1 : code == OS_MOUSE_MIDDLE ? 2 : 3;
    XTestFakeButtonEvent(d, button, down, CurrentTime);
    XSync(d, False);
}

// delta in Windows units; X turns wheels by whole notches (buttons 4 and 5).
inline void test_mouse_wheel(i32 delta) {
    Display *d = test_display();
    unsigned button = delta > 0 ? 4 : 5;
    for (i32 i = 0; i < (delta < 0 ? -delta : delta) / 120; i++) {
        XTestFakeButtonEvent(d, button, True, CurrentTime);
        XTestFakeButtonEvent(d, button, False, CurrentTime);
    }
    XSync(d, False);
}

// key: a Windows virtual-key code, typed on the key that carries it.
inline void test_key(u16 key, bool down) {
    KeySym keysym = NoSymbol;
    if (key >= 'A' && key <= 'Z') keysym = XK_a + (key - 'A');
    else if (key >= '0' && key <= '9') keysym = key;
    else if (key >= 0x70 && key <= 0x87) keysym = XK_F1 + (key - 0x70);
    else {
        static const struct { u16 key; KeySym keysym; } table[] = {
            {8, XK_BackSpace}, {9, XK_Tab},     {13, XK_Return}, {16, XK_Shift_L}, {17, XK_Control_L},
            {18, XK_Alt_L},    {27, XK_Escape}, {32, XK_space},  {33, XK_Prior},   {34, XK_Next},
            {35, XK_End},      {36, XK_Home},   {37, XK_Left},   {38, XK_Up},      {39, XK_Right},
            {40, XK_Down},     {45, XK_Insert}, {46, XK_Delete}, {0xBA, XK_semicolon}, {0xBC, XK_comma},
            {0xBD, XK_minus},  {0xBE, XK_period}, {0xBF, XK_slash}, {0xDB, XK_bracketleft},
        };
        for (const auto &entry : table)
            if (entry.key == key) keysym = entry.keysym;
    }
    Display *d = test_display();
    KeyCode keycode = XKeysymToKeycode(d, keysym);
    static bool held[256];
    if (down && held[keycode]) {
        // The server ignores a second press of a held key; its own
        // auto-repeat gives the repeat, made quick and single here and
        // awaited on the focused window.
        Window focus;
        int revert;
        XGetInputFocus(d, &focus, &revert);
        XSelectInput(d, focus, KeyPressMask);
        unsigned delay = 660, interval = 40;
        XkbGetAutoRepeatRate(d, XkbUseCoreKbd, &delay, &interval);
        XkbSetAutoRepeatRate(d, XkbUseCoreKbd, 20, 60000);
        XSync(d, False);
        for (int i = 0; i < 2000; i++) {
            XEvent event;
            if (XCheckTypedWindowEvent(d, focus, KeyPress, &event) && event.xkey.keycode == keycode) break;
            usleep(5000);
        }
        XSelectInput(d, focus, NoEventMask);
        XkbSetAutoRepeatRate(d, XkbUseCoreKbd, delay, interval);
        XSync(d, False);
        return;
    }
    held[keycode] = down;
    XTestFakeKeyEvent(d, keycode, down, CurrentTime);
    XSync(d, False);
}

// Whether the server's keyboard focus is on the window.
inline bool test_has_focus(OsWindow *window) {
    Window focus;
    int revert;
    XGetInputFocus(test_display(), &focus, &revert);
    return focus == (Window)(uintptr_t)window->handle;
}

// The screen pixel as 0x00RRGGBB.
inline u32 test_screen_pixel(i32 x, i32 y) {
    Display *d = test_display();
    XImage *image = XGetImage(d, DefaultRootWindow(d), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xFFFFFFFFu;
    u32 pixel = (u32)XGetPixel(image, 0, 0) & 0xFFFFFFu;
    XDestroyImage(image);
    return pixel;
}

// The title the window manager shows: _NET_WM_NAME, UTF-8.
inline std::string test_window_title(OsWindow *window) {
    Display *d = test_display();
    Atom name = XInternAtom(d, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    std::string title;
    if (XGetWindowProperty(d, (Window)(uintptr_t)window->handle, name, 0, 1024, False, utf8, &type, &format,
                           &count, &after, &data) == Success && data)
        title.assign((const char *)data, count);
    if (data) XFree(data);
    return title;
}
#endif
