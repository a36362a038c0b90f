// Synthetic input through SendInput, the mouse-button query and the raw
// mouse switches. The tracker and the typing rules are shared (os_common.cpp).
#include "os_w32_window.h"

static void os_w32_send(INPUT *input) { SendInput(1, input, sizeof *input); }

static void os_w32_send_mouse(DWORD flags, i32 dx, i32 dy) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.dwFlags = flags;
    os_w32_send(&input);
}

void os_platform_inject_key(u16 key, bool down) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    os_w32_send(&input);
}

bool os_get_mouse_button_state(u16 code) {
    int key;
    if (code == OS_MOUSE_LEFT) key = VK_LBUTTON;
    else if (code == OS_MOUSE_MIDDLE) key = VK_MBUTTON;
    else if (code == OS_MOUSE_RIGHT) key = VK_RBUTTON;
    else return true;
    return (GetKeyState(key) & 0x8000) != 0;
}

void os_send_mouse_down(u16 code) {
    if (code == OS_MOUSE_LEFT) os_w32_send_mouse(MOUSEEVENTF_LEFTDOWN, 0, 0);
    else if (code == OS_MOUSE_RIGHT) os_w32_send_mouse(MOUSEEVENTF_RIGHTDOWN, 0, 0);
    else if (code == OS_MOUSE_MIDDLE) os_w32_send_mouse(MOUSEEVENTF_MIDDLEDOWN, 0, 0);
}

void os_send_mouse_up(u16 code) {
    if (code == OS_MOUSE_LEFT) os_w32_send_mouse(MOUSEEVENTF_LEFTUP, 0, 0);
    else if (code == OS_MOUSE_RIGHT) os_w32_send_mouse(MOUSEEVENTF_RIGHTUP, 0, 0);
    else if (code == OS_MOUSE_MIDDLE) os_w32_send_mouse(MOUSEEVENTF_MIDDLEUP, 0, 0);
}

void os_send_mouse_move(i32 dx, i32 dy) { os_w32_send_mouse(MOUSEEVENTF_MOVE, dx, dy); }

void os_send_mouse_move_absolute(i32 x, i32 y) {
    os_w32_send_mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, x, y);
}

