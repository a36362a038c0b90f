// How many handles (Windows) or file descriptors (Linux) the test process
// holds: what a leak would raise.
#pragma once

#include "os/os.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dirent.h>
#endif

inline i64 open_handle_count(void) {
    i64 count = 0;
#ifdef _WIN32
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles > 0) return handles;
    // Wine reports 0: count the handle values that name an open handle.
    for (uintptr_t value = 4; value < 0x20000; value += 4) {
        DWORD flags;
        count += GetHandleInformation((HANDLE)value, &flags) ? 1 : 0;
    }
#else
    DIR *dir = opendir("/proc/self/fd");
    while (dirent *entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
#endif
    return count;
}
