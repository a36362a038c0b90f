// The instance channel: a named mutex of the session says who holds the
// name (the system destroys it with the holder's last handle, so a holder
// killed hard frees the name), and a message-only window of the holder's
// thread takes the texts as WM_COPYDATA, which its pump dispatches.
#include "os_w32_window.h"

#include <string.h>

static const wchar_t os_w32_instance_class[] = L"OsInstanceChannel";
static const ULONG_PTR os_w32_instance_tag = 0x4F53494Eu; // marks our WM_COPYDATA
static HWND os_w32_instance_window;
static char os_w32_instance_text[OS_INSTANCE_MESSAGE_CAPACITY + 1];

// prefix + "name-user" for a valid name: the key both sides derive, so
// another user of the same session (run as another user) holds names of
// its own.
static void os_w32_instance_key(const wchar_t *prefix, StrSlice name, wchar_t (&key)[220]) {
    wchar_t user[128] = L"";
    DWORD units = 128;
    if (!GetUserNameW(user, &units)) user[0] = 0;
    size_t at = wcslen(prefix);
    memcpy(key, prefix, at * sizeof(wchar_t));
    for (i64 i = 0; i < name.length; i++) key[at++] = (wchar_t)name.data[i]; // plain ASCII
    key[at++] = L'-';
    for (const wchar_t *c = user; *c && at + 1 < 220; c++) key[at++] = *c == L'\\' ? L'_' : *c;
    key[at] = 0;
}

static LRESULT CALLBACK os_w32_instance_procedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != WM_COPYDATA) return DefWindowProcW(handle, message, wparam, lparam);
    const COPYDATASTRUCT *data = (const COPYDATASTRUCT *)lparam;
    if (!data || data->dwData != os_w32_instance_tag || data->cbData < 1 ||
        data->cbData > OS_INSTANCE_MESSAGE_CAPACITY || !data->lpData)
        return FALSE;
    // The system's copy lives only during this call; the event's text is ours.
    memcpy(os_w32_instance_text, data->lpData, data->cbData);
    os_w32_instance_text[data->cbData] = 0;
    os_w32_deliver_instance_message(os_w32_instance_text, (i32)data->cbData);
    return TRUE;
}

i32 os_platform_instance_claim(StrSlice name) {
    wchar_t key[220], mutex_name[220];
    os_w32_instance_key(L"", name, key);
    os_w32_instance_key(L"Local\\", name, mutex_name);
    // Not inheritable (no security attributes), and never closed: the name
    // stays ours until the process ends.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, mutex_name);
    if (!mutex) return GetLastError() == ERROR_ACCESS_DENIED ? OS_INSTANCE_HELD : OS_INSTANCE_FAILED;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return OS_INSTANCE_HELD;
    }
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = os_w32_instance_procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = os_w32_instance_class;
    RegisterClassW(&window_class); // a second registration fails harmlessly
    os_w32_instance_window = CreateWindowExW(0, os_w32_instance_class, key, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                             window_class.hInstance, nullptr);
    if (!os_w32_instance_window) {
        CloseHandle(mutex);
        return OS_INSTANCE_FAILED;
    }
    return OS_INSTANCE_CLAIMED;
}

i32 os_platform_instance_send(StrSlice name, StrSlice text) {
    wchar_t key[220];
    os_w32_instance_key(L"", name, key);
    HWND holder = FindWindowExW(HWND_MESSAGE, nullptr, os_w32_instance_class, key);
    if (!holder) return OS_INSTANCE_NONE_RUNNING;
    COPYDATASTRUCT data = {os_w32_instance_tag, (DWORD)text.length, text.data};
    DWORD_PTR taken = FALSE;
    // A holder that does not pump within 5 s gets nothing; a hung one not
    // even the wait.
    const UINT patience_ms = 5000;
    if (!SendMessageTimeoutW(holder, WM_COPYDATA, 0, (LPARAM)&data, SMTO_BLOCK | SMTO_ABORTIFHUNG, patience_ms,
                             &taken))
        return IsWindow(holder) ? OS_INSTANCE_NOT_DELIVERED : OS_INSTANCE_NONE_RUNNING;
    return taken == TRUE ? OS_INSTANCE_DELIVERED : OS_INSTANCE_NOT_DELIVERED;
}
