// Files, directories and paths over kernel32: UTF-8 paths with "/" are
// converted to UTF-16 on the stack at each call, returned paths back to UTF-8
// with "/".
#include "os_w32.h"

#include <shlobj.h>
#include <string.h>

i32 os_w32_wide_units(const char *utf8) {
    if (!utf8) return 1;
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    return units > 0 && units <= 32768 ? units : 0;
}

void os_w32_to_wide(const char *utf8, wchar_t *out, i32 units) {
    if (!utf8 || MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out, units) <= 0) out[0] = 0;
    out[units - 1] = 0;
}

i32 os_w32_to_utf8_path(const wchar_t *wide, i32 units, char *out, i32 capacity) {
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, units, out, capacity - 1, nullptr, nullptr);
    if (length <= 0) length = 0;
    if (units < 0 && length > 0) --length; // the converted terminator
    out[length] = 0;
    for (int i = 0; i < length; ++i)
        if (out[i] == '\\') out[i] = '/';
    return length;
}

static HANDLE os_w32_open(StrSlice path, DWORD access, DWORD share, DWORD disposition) {
    OS_W32_WIDE(wide, path.data);
    if (!wide) return INVALID_HANDLE_VALUE;
    return CreateFileW(wide, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

StrSlice os_read_entire_file(StrSlice path) {
    StrSlice result = {0, nullptr};
    HANDLE file = os_w32_open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return result;
    LARGE_INTEGER size;
    // Files of 2 GiB and more are not supported: the size would not fit the
    // 32-bit allocation with its terminating NUL.
    if (GetFileSizeEx(file, &size) && size.QuadPart < 0x7FFFFFFF) {
        char *buffer = (char *)os_alloc((u32)size.QuadPart + 1);
        if (buffer) {
            DWORD got = 0;
            // A successful read leaves the last error alone; start from 0 so
            // the capture below reports this read, not an older failure.
            SetLastError(0);
            BOOL ok = ReadFile(file, buffer, (DWORD)size.QuadPart, &got, nullptr);
            os_capture_last_error();
            if (ok) {
                // A file that shrank since the size query reports what was read.
                memset(buffer + got, 0, (size_t)size.QuadPart + 1 - got);
                result = StrSlice{(i64)got, buffer};
            } else {
                os_free(buffer);
            }
        }
    }
    CloseHandle(file);
    return result;
}

i32 os_write_file(StrSlice path, u32 size, const void *bytes) {
    // OPEN_ALWAYS and SetEndOfFile rather than CREATE_ALWAYS, which refuses to
    // replace a hidden or system file.
    HANDLE file = os_w32_open(path, GENERIC_WRITE, 0, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    i32 result = 0;
    if (!WriteFile(file, bytes, size, &written, nullptr) || written != size || !SetEndOfFile(file))
        result = 2;
    CloseHandle(file);
    return result;
}

// CREATE_NEW fails on any entry of the name; with FILE_FLAG_OPEN_REPARSE_POINT
// a symbolic link or junction there is never followed either.
static HANDLE os_w32_create_new(const char *path, DWORD access, DWORD share) {
    OS_W32_WIDE(wide, path);
    if (!wide) return INVALID_HANDLE_VALUE;
    return CreateFileW(wide, access, share, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

i32 os_create_file_exclusive(StrSlice path, u32 size, const void *bytes) {
    HANDLE file = os_w32_create_new(path.data, GENERIC_WRITE | DELETE, 0);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    i32 result = 0;
    if (!WriteFile(file, bytes, size, &written, nullptr) || written != size) {
        // Removed through the handle: the name may no longer be ours.
        FILE_DISPOSITION_INFO remove = {TRUE};
        SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove);
        result = 2;
    }
    CloseHandle(file);
    return result;
}

const bool os_platform_windows_paths = true;

// Shared for reading, writing and deleting: a viewer or a second reader may
// open the log while it is written, and it can still be moved away. Only
// write access, which a viewer sharing writing allows (delete access would
// need viewers to share deleting too).
static const DWORD os_w32_log_share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

OsHandle os_platform_log_open(const char *path, bool append, i64 *size) {
    *size = 0;
    HANDLE file = os_w32_create_new(path, GENERIC_WRITE, os_w32_log_share);
    if (file != INVALID_HANDLE_VALUE) return (OsHandle)(intptr_t)file;
    if (!append || GetLastError() != ERROR_FILE_EXISTS) return OS_NO_FILE;
    OS_W32_WIDE(wide, path);
    if (!wide) return OS_NO_FILE;
    file = CreateFileW(wide, FILE_APPEND_DATA, os_w32_log_share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return OS_NO_FILE;
    // A link opened as itself, a folder or a file with other names is not
    // the log's to write.
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info) &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
        info.nNumberOfLinks == 1) {
        *size = (i64)(((u64)info.nFileSizeHigh << 32) | info.nFileSizeLow);
        return (OsHandle)(intptr_t)file;
    }
    CloseHandle(file);
    return OS_NO_FILE;
}

bool os_platform_log_write(OsHandle file, const void *bytes, u32 size) {
    DWORD written = 0;
    return WriteFile((HANDLE)(intptr_t)file, bytes, size, &written, nullptr) && written == size;
}

void os_platform_log_close(OsHandle file) { CloseHandle((HANDLE)(intptr_t)file); }

i32 os_write_file_at(StrSlice path, i32 offset, u32 size, const void *bytes) {
    HANDLE file = os_w32_open(path, GENERIC_WRITE, 0, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return 1;
    i32 result = 0;
    DWORD written = 0;
    LARGE_INTEGER to;
    to.QuadPart = offset;
    if (!SetFilePointerEx(file, to, nullptr, FILE_BEGIN)) result = 2;
    else if (!WriteFile(file, bytes, size, &written, nullptr) || written != size) result = 3;
    CloseHandle(file);
    return result;
}

i32 os_read_file_range(StrSlice path, i64 offset, u32 size, void *buffer) {
    HANDLE file = os_w32_open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return 1;
    i32 result = 0;
    DWORD got = 0;
    LARGE_INTEGER to;
    to.QuadPart = offset;
    if (offset > 0 && !SetFilePointerEx(file, to, nullptr, FILE_BEGIN)) result = 2;
    else if (!ReadFile(file, buffer, size, &got, nullptr)) result = 3;
    if (result) os_capture_last_error();
    CloseHandle(file);
    return result;
}

i64 os_file_size(StrSlice path) {
    HANDLE file = os_w32_open(path, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return -1;
    LARGE_INTEGER size;
    i64 result = GetFileSizeEx(file, &size) ? (i64)size.QuadPart : -1;
    CloseHandle(file);
    return result;
}

bool os_file_exists(StrSlice path) {
    HANDLE file = os_w32_open(path, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool os_path_exists(StrSlice path) {
    OS_W32_WIDE(wide, path.data);
    return wide && GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES;
}

i32 os_copy_file(StrSlice source, StrSlice destination) {
    OS_W32_WIDE(from, source.data);
    OS_W32_WIDE(to, destination.data);
    return from && to && CopyFileW(from, to, FALSE) ? 0 : 1;
}

i32 os_move_file(StrSlice source, StrSlice destination) {
    OS_W32_WIDE(from, source.data);
    OS_W32_WIDE(to, destination.data);
    return from && to && MoveFileW(from, to) ? 0 : 1;
}

i32 os_replace_file(StrSlice source, StrSlice destination) {
    OS_W32_WIDE(from, source.data);
    OS_W32_WIDE(to, destination.data);
    return from && to && MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : 1;
}

i32 os_delete_file(StrSlice path) {
    OS_W32_WIDE(wide, path.data);
    return wide && DeleteFileW(wide) ? 0 : 1;
}

i32 os_truncate_file(StrSlice path, i64 length) {
    HANDLE file = os_w32_open(path, GENERIC_WRITE, 0, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return 1;
    i32 result = 0;
    LARGE_INTEGER to;
    to.QuadPart = length;
    if (!SetFilePointerEx(file, to, nullptr, FILE_BEGIN)) result = 2;
    else if (!SetEndOfFile(file)) result = 3;
    CloseHandle(file);
    return result;
}

i32 os_make_directory(StrSlice path) {
    OS_W32_WIDE(wide, path.data);
    if (!wide) return 1;
    if (GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES) return 0;
    return CreateDirectoryW(wide, nullptr) ? 0 : 1;
}

i32 os_remove_directory(StrSlice path) {
    OS_W32_WIDE(wide, path.data);
    if (!wide) return 1;
    if (GetFileAttributesW(wide) == INVALID_FILE_ATTRIBUTES) return 0;
    return RemoveDirectoryW(wide) ? 0 : 1;
}

void os_list_directory(StrSlice path, OsListDirectoryCallback *callback) {
    // An empty path would list the root of the current drive ("/*").
    if (!callback || !path.data || path.length <= 0 || path.length > 32767) return;
    char *pattern = (char *)_alloca((size_t)path.length + 3);
    memcpy(pattern, path.data, (size_t)path.length);
    i64 at = path.length;
    char last = path.data[path.length - 1];
    if (last != '/' && last != '\\') pattern[at++] = '/';
    pattern[at++] = '*';
    pattern[at] = 0;
    OS_W32_WIDE(wide, pattern);
    if (!wide) return;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(wide, &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        char name[MAX_PATH * 3 + 1];
        i32 length = os_w32_to_utf8_path(entry.cFileName, -1, name, sizeof name);
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            callback(StrSlice{length, name}, 0, true);
        } else {
            i64 size = (i64)(((u64)entry.nFileSizeHigh << 32) + entry.nFileSizeLow);
            callback(StrSlice{length, name}, size, false);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

//~ Cached paths

static StrSlice os_w32_desktop_folder;

i32 os_platform_exe_path(char *path, i32 capacity) {
    // Longer paths are cut to the classic 260 units.
    wchar_t wide[MAX_PATH];
    DWORD units = GetModuleFileNameW(nullptr, wide, MAX_PATH);
    if (units == 0) return 0;
    return os_w32_to_utf8_path(wide, (i32)units, path, capacity);
}

StrSlice os_desktop_folder(void) {
    if (!os_w32_desktop_folder.data) {
        wchar_t wide[MAX_PATH];
        if (SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, wide) != S_OK)
            return os_w32_desktop_folder;
        char path[MAX_PATH * 3 + 1];
        i32 length = os_w32_to_utf8_path(wide, -1, path, sizeof path);
        while (length > 1 && path[length - 1] == '/') --length;
        os_w32_desktop_folder = os_string_copy(path, (size_t)length);
    }
    return os_w32_desktop_folder;
}

//~ The user's folders

StrSlice os_user_folder(u32 kind, const char *application) {
    static const KNOWNFOLDERID *const known[3] = {&FOLDERID_RoamingAppData, &FOLDERID_LocalAppData,
                                                  &FOLDERID_Videos};
    if (kind > OS_USER_FOLDER_VIDEOS || !application) return StrSlice{0, nullptr};
    wchar_t *wide = nullptr;
    if (SHGetKnownFolderPath(*known[kind], KF_FLAG_DEFAULT, nullptr, &wide) != S_OK) {
        CoTaskMemFree(wide);
        return StrSlice{0, nullptr};
    }
    char base[MAX_PATH * 3 + 1];
    i32 length = os_w32_to_utf8_path(wide, -1, base, sizeof base);
    CoTaskMemFree(wide);
    while (length > 0 && base[length - 1] == '/') base[--length] = 0;
    if (length == 0) return StrSlice{0, nullptr};
    char folder[sizeof base + 258];
    i32 total = os_format(folder, sizeof folder, "%s/%s/", base, application);
    if (total < 0 || total >= (i32)sizeof folder - 1) return StrSlice{0, nullptr};
    return os_string_copy(folder, total);
}

bool os_program_installed(void) {
    wchar_t exe[MAX_PATH];
    DWORD units = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (units == 0 || units >= MAX_PATH) return false;
    static const KNOWNFOLDERID *const installs[2] = {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86};
    for (const KNOWNFOLDERID *install : installs) {
        wchar_t *folder = nullptr;
        bool below = false;
        if (SHGetKnownFolderPath(*install, KF_FLAG_DEFAULT, nullptr, &folder) == S_OK) {
            int length = lstrlenW(folder);
            below = length > 0 && (DWORD)length < units && (exe[length] == L'\\' || exe[length] == L'/') &&
                    CompareStringOrdinal(exe, length, folder, length, TRUE) == CSTR_EQUAL;
        }
        CoTaskMemFree(folder);
        if (below) return true;
    }
    return false;
}

bool os_folder_writable(StrSlice folder) {
    if (!folder.data || folder.length <= 0 || folder.length > 32000) return false;
    char probe[32768];
    bool slash = folder.data[folder.length - 1] == '/';
    os_format(probe, sizeof probe, "%.*s%s.writable-%lu", (int)folder.length, folder.data, slash ? "" : "/",
              (unsigned long)GetCurrentProcessId());
    OS_W32_WIDE(wide, probe);
    if (!wide) return false;
    // Deleted when closed; CREATE_NEW never touches a file that is there.
    HANDLE file = CreateFileW(wide, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}
