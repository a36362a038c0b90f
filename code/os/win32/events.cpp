// The shared window procedure: system messages become OsEvents for the one
// application callback, and the records follow their native windows.
#include "os_w32_window.h"

#include <shellapi.h>
#include <windowsx.h>

static OsEvent os_w32_event;
static OsEventCallback *os_w32_callback;

struct OsW32Press {
    u32 time;
    i32 x, y;
};
static OsW32Press os_w32_last_press[3]; // left, middle, right

static char *os_w32_drop_list;
static u32 os_w32_drop_capacity;

void os_set_event_callback(OsEventCallback *callback) { os_w32_callback = callback; }

i32 os_pump_messages(void) {
    i32 handled = 0;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
        handled++;
    }
    // Wine copies what was drawn into a window to the X server only when the
    // thread waits for messages; a program that only peeks and sleeps never
    // shows its drawing there. A zero wait costs nothing on Windows.
    MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0);
    return handled;
}

i32 os_wait_and_pump_messages(void) {
    // Not WaitMessage: it sleeps until input newer than the last look at the
    // queue, and os_pump_messages' zero wait counts as a look, so input that
    // came during that pump would wait for the next message.
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return os_pump_messages();
}

// The process's raw mouse input goes to this window, also while another
// program has the focus; the flag is set only when the system agreed.
static void os_w32_register_raw_mouse(OsWindow *window) {
    if (window->raw_input & OS_RAW_MOUSE_REGISTERED) return;
    RAWINPUTDEVICE device = {1, 2, RIDEV_INPUTSINK, (HWND)window->handle};
    if (RegisterRawInputDevices(&device, 1, sizeof device)) window->raw_input |= OS_RAW_MOUSE_REGISTERED;
}

bool os_wait_for_events(u32 timeout_ms) {
    // Raw mouse input into one of our windows, even when another program has
    // the focus, so device motion anywhere ends the wait. Any raw mouse switch
    // of the library may drop the process's registration; it is made again here.
    OsWindow **list;
    i32 count;
    os_get_windows(&count, nullptr, &list);
    bool registered = false;
    for (i32 i = 0; i < count; i++) registered |= (list[i]->raw_input & OS_RAW_MOUSE_REGISTERED) != 0;
    if (!registered && count > 0) os_w32_register_raw_mouse(list[0]);
    // Input already in the queue counts too, not only input that came since
    // the last look at it.
    DWORD result = MsgWaitForMultipleObjectsEx(0, nullptr, timeout_ms, QS_ALLINPUT,
                                               MWMO_INPUTAVAILABLE | MWMO_ALERTABLE);
    return result == WAIT_OBJECT_0;
}

static void os_w32_deliver(u8 kind) {
    os_w32_event.kind = kind;
    if (os_w32_callback) os_w32_callback(&os_w32_event);
}

void os_w32_deliver_instance_message(char *text, i32 length) {
    os_w32_event.window = nullptr;
    os_w32_event.message.text = text;
    os_w32_event.message.length = length;
    os_w32_deliver(OS_EVENT_INSTANCE_MESSAGE);
}

void os_platform_raw_mouse_on(OsWindow *window) {
    os_w32_register_raw_mouse(window);
    window->raw_input |= OS_RAW_MOUSE_ACTIVE;
}

void os_platform_raw_mouse_off(OsWindow *window) {
    window->raw_input &= (u8)~OS_RAW_MOUSE_ACTIVE;
    RAWINPUTDEVICE device = {1, 2, RIDEV_REMOVE, nullptr};
    RegisterRawInputDevices(&device, 1, sizeof device);
    // The registration is per process, so no window holds it any more.
    OsWindow **list;
    i32 count;
    os_get_windows(&count, nullptr, &list);
    for (i32 i = 0; i < count; i++) list[i]->raw_input &= (u8)~OS_RAW_MOUSE_REGISTERED;
    window->raw_input &= (u8)~OS_RAW_MOUSE_REGISTERED;
}

// The class asks for no double-click messages; this is the only detection.
static u8 os_w32_press_state(int button, LPARAM lparam) {
    OsW32Press *last = &os_w32_last_press[button];
    u32 time = (u32)GetMessageTime();
    i32 x = GET_X_LPARAM(lparam), y = GET_Y_LPARAM(lparam);
    i32 dx = x - last->x, dy = y - last->y;
    if (dx < 0) dx = -dx;
    if (dy < 0) dy = -dy;
    if (time < last->time + (u32)GetDoubleClickTime() && dx < GetSystemMetrics(SM_CXDOUBLECLK) &&
        dy < GetSystemMetrics(SM_CYDOUBLECLK)) {
        last->time = 0;
        return OS_BUTTON_DOUBLE;
    }
    last->time = time;
    last->x = x;
    last->y = y;
    return OS_BUTTON_DOWN;
}

static void os_w32_button(HWND handle, int button, LPARAM lparam, bool down) {
    if (down) SetCapture(handle);
    else ReleaseCapture();
    POINT at = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    u8 state = down ? os_w32_press_state(button, lparam) : (u8)OS_BUTTON_UP;
    ClientToScreen(handle, &at);
    os_w32_event.button.code = (u16)(OS_MOUSE_LEFT + button);
    os_w32_event.button.x = at.x;
    os_w32_event.button.y = at.y;
    os_w32_event.button.state = state;
    os_w32_deliver(OS_EVENT_MOUSE_BUTTON);
}

static void os_w32_key(WPARAM wparam, LPARAM lparam, bool pressed) {
    os_w32_event.key.code = (u16)wparam;
    os_w32_event.key.pressed = pressed ? 1 : 0;
    bool repeat = pressed && (lparam & (1 << 30));
    os_w32_deliver(repeat ? OS_EVENT_KEY_REPEAT : OS_EVENT_KEY);
}

static void os_w32_drop(HDROP drop) {
    POINT at = {};
    DragQueryPoint(drop, &at);
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    u32 needed = 1;
    for (UINT i = 0; i < count; i++) needed += 4 * DragQueryFileW(drop, i, nullptr, 0) + 2;
    if (!os_w32_drop_list) {
        os_w32_drop_list = (char *)os_alloc(needed);
        os_w32_drop_capacity = needed;
    } else if (os_w32_drop_capacity < needed) {
        os_w32_drop_list = (char *)os_realloc(os_w32_drop_list, needed);
        os_w32_drop_capacity = needed;
    }
    u32 offset = 0;
    os_w32_drop_list[0] = 0;
    for (UINT i = 0; i < count; i++) {
        wchar_t name[1024];
        name[0] = 0;
        DragQueryFileW(drop, i, name, 1024);
        // 4 bytes per unit always suffice: a unit gives at most 3 UTF-8 bytes.
        int bytes = WideCharToMultiByte(CP_UTF8, 0, name, -1, os_w32_drop_list + offset,
                                        (int)(needed - offset - 1), nullptr, nullptr);
        if (bytes < 1) bytes = 1;
        os_w32_drop_list[offset + bytes - 1] = 0;
        os_w32_drop_list[offset + bytes] = 0;
        offset += (u32)bytes;
    }
    for (u32 i = 0; i < offset; i++)
        if (os_w32_drop_list[i] == '\\') os_w32_drop_list[i] = '/';
    // The names are copied; the system's drop record is released here.
    DragFinish(drop);
    os_w32_event.drop.x = at.x;
    os_w32_event.drop.y = at.y;
    os_w32_event.drop.files = os_w32_drop_list;
    os_w32_event.drop.count = (i32)count;
    os_w32_deliver(OS_EVENT_DROP_FILES);
}

static void os_w32_close(OsWindow *window, UINT message) {
    window->flags &= (u16)~OS_WINDOW_OPEN;
    if (window->flags & OS_WINDOW_PIXEL_BUFFER) os_free_window_pixels(window);
    HWND handle = (HWND)window->handle;
    if (!ReleaseDC(handle, (HDC)window->device_context))
        os_diagnostic("* ERROR * Could not release Device Context: (%i)\n", (int)GetLastError());
    // A window that reports its own destruction is already going; destroying
    // it again from inside would only fail and log a false error.
    if (message != WM_DESTROY && message != WM_NCDESTROY && !DestroyWindow(handle))
        os_diagnostic("* ERROR * Could not release windowhandle (%i)\n", (int)GetLastError());
    if (window->raw_input & OS_RAW_MOUSE_ACTIVE) os_platform_raw_mouse_off(window);
    os_window_list_remove(window);
    os_w32_deliver(OS_EVENT_WINDOW_CLOSE);
}

LRESULT CALLBACK os_window_procedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    OsWindow *window = os_window_list_find(handle);
    if (!window) return DefWindowProcW(handle, message, wparam, lparam);
    os_w32_event.window = window;
    bool open = (window->flags & OS_WINDOW_OPEN) != 0;

    switch (message) {
    case WM_MOUSEMOVE: {
        POINT at = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        ClientToScreen(handle, &at);
        os_w32_event.mouse.x = at.x;
        os_w32_event.mouse.y = at.y;
        os_w32_deliver(OS_EVENT_MOUSE_MOVE);
    } break;
    case WM_NCMOUSEMOVE:
        os_w32_event.mouse.x = GET_X_LPARAM(lparam);
        os_w32_event.mouse.y = GET_Y_LPARAM(lparam);
        os_w32_deliver(OS_EVENT_MOUSE_MOVE);
        break;
    case WM_LBUTTONDOWN: os_w32_button(handle, 0, lparam, true); break;
    case WM_MBUTTONDOWN: os_w32_button(handle, 1, lparam, true); break;
    case WM_RBUTTONDOWN: os_w32_button(handle, 2, lparam, true); break;
    case WM_LBUTTONUP: os_w32_button(handle, 0, lparam, false); break;
    case WM_MBUTTONUP: os_w32_button(handle, 1, lparam, false); break;
    case WM_RBUTTONUP: os_w32_button(handle, 2, lparam, false); break;
    case WM_MOUSEWHEEL:
        os_w32_event.wheel.x = GET_X_LPARAM(lparam);
        os_w32_event.wheel.y = GET_Y_LPARAM(lparam);
        os_w32_event.wheel.notches = (i32)((double)(i16)HIWORD(wparam) / 120.0);
        os_w32_deliver(OS_EVENT_MOUSE_WHEEL);
        break;
    case WM_KEYDOWN: os_w32_key(wparam, lparam, true); break;
    case WM_KEYUP: os_w32_key(wparam, lparam, false); break;
    case WM_CHAR:
        // Backspace reaches the application as a key event only.
        if (wparam == 8) break;
        os_w32_event.character = wparam == 13 ? 10 : (i32)wparam;
        os_w32_deliver(OS_EVENT_CHAR);
        break;
    case WM_SYSKEYDOWN:
        if (wparam == VK_MENU || (wparam >= VK_LEFT && wparam <= VK_DOWN)) os_w32_key(wparam, lparam, true);
        // Alt alone would open the window menu and swallow the next keys.
        if (wparam == VK_MENU) return 0;
        break;
    case WM_SYSKEYUP:
        if (wparam == VK_CONTROL || wparam == VK_MENU || (wparam >= VK_LEFT && wparam <= VK_DOWN))
            os_w32_key(wparam, lparam, false);
        if (wparam == VK_MENU) return 0;
        break;
    case WM_MOVE:
        if (open) os_w32_refresh_geometry(window);
        os_w32_event.move.x = (i16)LOWORD(lparam);
        os_w32_event.move.y = (i16)HIWORD(lparam);
        os_w32_deliver(OS_EVENT_WINDOW_MOVE);
        break;
    case WM_SIZE:
        if (open) {
            os_w32_refresh_geometry(window);
            if (window->flags & OS_WINDOW_PIXEL_BUFFER) os_resize_window_pixels(window);
        }
        os_w32_event.size.width = LOWORD(lparam);
        os_w32_event.size.height = HIWORD(lparam);
        os_w32_deliver(OS_EVENT_WINDOW_RESIZE);
        break;
    case WM_SETFOCUS:
        window->flags |= OS_WINDOW_FOCUSED;
        if (open && (window->raw_input & OS_RAW_MOUSE_WANTED)) os_platform_raw_mouse_on(window);
        os_w32_event.focus.gained = 1;
        os_w32_deliver(OS_EVENT_FOCUS);
        break;
    case WM_KILLFOCUS:
        window->flags &= (u16)~OS_WINDOW_FOCUSED;
        if (open && (window->raw_input & OS_RAW_MOUSE_ACTIVE)) os_platform_raw_mouse_off(window);
        os_w32_event.focus.gained = 0;
        os_w32_deliver(OS_EVENT_FOCUS);
        break;
    case WM_DROPFILES:
        os_w32_drop((HDROP)wparam);
        break;
    case WM_ENDSESSION: {
        // Every top-level window gets it; the application hears it once.
        static bool delivered;
        if (wparam && !delivered) {
            delivered = true;
            os_w32_deliver(OS_EVENT_SESSION_END);
        }
        return 0;
    }
    case WM_DISPLAYCHANGE:
        // Every top-level window hears it; the application reads the table once per frame.
        os_w32_deliver(OS_EVENT_DISPLAY_CHANGE);
        break;
    case WM_HOTKEY:
        os_w32_event.hotkey.id = (i32)wparam;
        os_w32_deliver(OS_EVENT_HOTKEY);
        break;
    case WM_CLOSE:
    case WM_DESTROY:
    case WM_NCDESTROY:
    case WM_QUIT:
        if (open) os_w32_close(window, message);
        break;
    default: break;
    }
    return DefWindowProcW(handle, message, wparam, lparam);
}
