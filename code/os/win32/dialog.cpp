// The open-file dialog, the folder browser and the directory watch.
#include "os_w32.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

// A new heap copy of a UTF-16 text as UTF-8 with "/" separators and room for
// `extra` more bytes before the NUL; null when it cannot be converted.
static char *os_w32_heap_path(const wchar_t *wide, i32 extra, i32 *length) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return nullptr;
    // The conversion keeps one byte for its own NUL beyond the text's.
    char *path = (char *)os_alloc((u32)bytes + 1 + (u32)extra);
    if (!path) return nullptr;
    *length = os_w32_to_utf8_path(wide, -1, path, bytes + 1);
    return path;
}

i32 os_open_file_dialog(StrSlice *out, StrSlice initial_folder, bool allow_multiple) {
    // Reading a character from standard input here would hang a program
    // without a console input that never ends, so only the line is kept.
    os_diagnostic("* ERROR_TODO * this WCHAR string shit needs to be fixed.\n");
    OS_W32_WIDE(folder, initial_folder.data);
    static const u32 capacity = 5120;
    wchar_t *names = (wchar_t *)os_alloc_zeroed(capacity * (u32)sizeof(wchar_t));
    if (!names) return 1;
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.lpstrFile = names;
    dialog.nMaxFile = capacity;
    dialog.lpstrInitialDir = initial_folder.data ? folder : nullptr;
    dialog.Flags = allow_multiple ? OFN_EXPLORER | OFN_ALLOWMULTISELECT : 0;
    i32 result = 1;
    if (GetOpenFileNameW(&dialog)) {
        i32 length = 0;
        char *path = os_w32_heap_path(names, 0, &length);
        if (path) {
            out->length = length;
            out->data = path;
            result = 0;
        }
    } else {
        CommDlgExtendedError();
    }
    os_free(names);
    return result;
}

i32 os_choose_folder_dialog(StrSlice *out) {
    // The new dialog style needs COM on this thread; a thread that already
    // has it keeps its own model.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BROWSEINFOW browse = {};
    browse.ulFlags = BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
    LPITEMIDLIST item = SHBrowseForFolderW(&browse);
    i32 result = 1;
    if (item) {
        wchar_t wide[MAX_PATH];
        result = 2;
        if (SHGetPathFromIDListW(item, wide)) {
            i32 length = 0;
            char *path = os_w32_heap_path(wide, 1, &length);
            if (path) {
                path[length] = '/';
                path[length + 1] = 0;
                out->length = length + 1;
                out->data = path;
                result = 0;
            }
        }
        CoTaskMemFree(item);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return result;
}

void os_watch_directory_changes(StrSlice path, bool subtree, OsWatchCallback *callback) {
    OS_W32_WIDE(wide, path.data);
    HANDLE directory = wide ? CreateFileW(wide, FILE_LIST_DIRECTORY | GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                            : INVALID_HANDLE_VALUE;
    if (directory == INVALID_HANDLE_VALUE) {
        os_diagnostic("ERROR: os_watch_directory_changes\n");
        return;
    }
    alignas(4) u8 buffer[2048];
    for (;;) {
        DWORD returned = 0;
        if (!ReadDirectoryChangesW(directory, buffer, sizeof buffer, subtree ? TRUE : FALSE,
                                   FILE_NOTIFY_CHANGE_LAST_WRITE, &returned, nullptr, nullptr))
            break;
        // 0 bytes: more changes than the buffer held; their names are lost.
        if (returned == 0) continue;
        u8 *at = buffer;
        for (;;) {
            FILE_NOTIFY_INFORMATION *record = (FILE_NOTIFY_INFORMATION *)at;
            char name[260];
            // The converted byte count, not the unit count, ends the name:
            // they differ in multi-byte code pages, and a name too long for
            // the buffer converts to nothing instead of overrunning it.
            int length = WideCharToMultiByte(CP_ACP, 0, record->FileName, (int)(record->FileNameLength / 2), name,
                                             (int)sizeof name - 1, nullptr, nullptr);
            if (length < 0) length = 0;
            name[length] = 0;
            for (int i = 0; i < length; ++i)
                if (name[i] == '\\') name[i] = '/';
            if (record->Action == FILE_ACTION_MODIFIED && callback) callback(StrSlice{length, name});
            if (!record->NextEntryOffset) break;
            at += record->NextEntryOffset;
        }
    }
    CloseHandle(directory);
}
