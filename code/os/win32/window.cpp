// Window creation: the shared class, the flag word's styles, the cursor table.
#include "os_w32_window.h"

#include <shellapi.h>
#include <string.h>

void os_w32_window_styles(u16 flags, u32 *style, u32 *extended_style) {
    if (flags & (OS_WINDOW_AT_ORIGIN | OS_WINDOW_BORDERLESS)) *style = WS_POPUP;
    else if (flags & OS_WINDOW_FIXED_SIZE) *style = WS_OVERLAPPEDWINDOW & ~(u32)WS_THICKFRAME;
    else *style = WS_OVERLAPPEDWINDOW;
    if (flags & OS_WINDOW_TOPMOST) *extended_style |= WS_EX_TOPMOST;
    if (flags & OS_WINDOW_APP_WINDOW) *extended_style |= WS_EX_APPWINDOW;
    if (flags & OS_WINDOW_TOOL) *extended_style |= WS_EX_TOOLWINDOW;
    if (flags & OS_WINDOW_HIDDEN) *style &= ~(u32)WS_VISIBLE;
    else *style |= WS_VISIBLE;
    if (flags & OS_WINDOW_LAYERED) *extended_style |= WS_EX_LAYERED;
    if (flags & OS_WINDOW_TRANSPARENT) *extended_style |= WS_EX_TRANSPARENT;
}

HCURSOR *os_w32_cursors;

static bool os_w32_class_registered;
static wchar_t *os_w32_class_name;
static const wchar_t os_w32_class_text[] = L"brask_sharedWindowClass";

void os_load_cursors(void) {
    // The system cursor identifiers (IDC_ARROW, IDC_HAND, IDC_WAIT, IDC_IBEAM,
    // IDC_CROSS, IDC_NO, IDC_HELP, IDC_SIZEALL, IDC_SIZEWE, IDC_SIZENS,
    // IDC_SIZENWSE, IDC_SIZENESW) by number, as the wide loader takes them.
    static const u16 shapes[13] = {0,     32512, 32649, 32514, 32513, 32515, 32648,
                                   32651, 32646, 32644, 32645, 32642, 32643};
    HCURSOR *table = (HCURSOR *)os_alloc_zeroed(32 * sizeof(HCURSOR));
    if (!table) return;
    for (int i = 1; i < 13; i++) table[i] = LoadCursorW(nullptr, MAKEINTRESOURCEW(shapes[i]));
    // The handles are the system's shared cursors; only the table is ours.
    if (os_w32_cursors) os_free(os_w32_cursors);
    os_w32_cursors = table;
}

static bool os_w32_register_class(void) {
    if (os_w32_class_registered) return true;
    os_w32_class_name = (wchar_t *)os_alloc(sizeof os_w32_class_text);
    memcpy(os_w32_class_name, os_w32_class_text, sizeof os_w32_class_text);
    WNDCLASSW window_class = {};
    window_class.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = os_window_procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = os_w32_class_name;
    if (!RegisterClassW(&window_class)) {
        os_diagnostic("* ERROR * Register window class fail\n");
        os_free(os_w32_class_name);
        os_w32_class_name = nullptr;
        return false;
    }
    os_w32_class_registered = true;
    return true;
}

void os_w32_refresh_geometry(OsWindow *window) {
    HWND handle = (HWND)window->handle;
    RECT outer = {}, client = {};
    GetWindowRect(handle, &outer);
    GetClientRect(handle, &client);
    POINT corner = {0, 0};
    ClientToScreen(handle, &corner);
    window->window_x = outer.left;
    window->window_y = outer.top;
    window->window_width = outer.right - outer.left;
    window->window_height = outer.bottom - outer.top;
    window->client_width = client.right - client.left;
    window->client_height = client.bottom - client.top;
    window->client_x = corner.x;
    window->client_y = corner.y;
}

// The title is UTF-8; the wide creation call gets its UTF-16 form so that any
// text shows as given. Null when the text is not valid UTF-8.
static wchar_t *os_w32_title(StrSlice title) {
    if (title.length <= 0 || !title.data) {
        static const wchar_t fallback[] = L"Window";
        wchar_t *copy = (wchar_t *)os_alloc(sizeof fallback);
        memcpy(copy, fallback, sizeof fallback);
        return copy;
    }
    int units = MultiByteToWideChar(CP_UTF8, 0, title.data, (int)title.length, nullptr, 0);
    if (units <= 0) return nullptr;
    wchar_t *wide = (wchar_t *)os_alloc_zeroed((u32)(units + 1) * sizeof(wchar_t));
    MultiByteToWideChar(CP_UTF8, 0, title.data, (int)title.length, wide, units);
    return wide;
}

OsWindow *os_open_window(i32 width, i32 height, StrSlice title, u16 flags) {
    os_load_cursors();
    if (!os_w32_register_class()) return nullptr;

    u32 style = 0, extended = 0;
    os_w32_window_styles(flags, &style, &extended);

    i32 x = CW_USEDEFAULT, y = CW_USEDEFAULT, outer_width = 100, outer_height = 100;
    if (flags & OS_WINDOW_AT_ORIGIN) {
        x = 0;
        y = 0;
    } else {
        RECT rect = {0, 0, width, height};
        AdjustWindowRectEx(&rect, style, FALSE, extended);
        outer_width = rect.right - rect.left;
        outer_height = rect.bottom - rect.top;
    }

    wchar_t *name = os_w32_title(title);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND handle = CreateWindowExW(extended, os_w32_class_name, name ? name : L"", style, x, y,
                                  outer_width, outer_height, nullptr, nullptr, instance, nullptr);
    DWORD error = GetLastError();
    if (name) os_free(name);
    if (!handle) {
        os_diagnostic("* ERROR * Window open fail %i\n", (int)error);
        return nullptr;
    }
    if (flags & OS_WINDOW_LAYERED) SetLayeredWindowAttributes(handle, RGB(0, 0, 0), 0, LWA_COLORKEY);

    OsWindow *window = (OsWindow *)os_alloc_zeroed(sizeof(OsWindow));
    window->device_context = GetDC(handle);
    window->flags = (u16)(flags | OS_WINDOW_OPEN | OS_WINDOW_FOCUSED);
    window->handle = handle;
    os_w32_refresh_geometry(window);
    // Before the record joins the list: the style change this sends must not
    // reach the application as events.
    DragAcceptFiles(handle, TRUE);
    os_window_list_add(window);
    if (flags & OS_WINDOW_PIXEL_BUFFER) os_alloc_window_pixels(window);
    return window;
}
