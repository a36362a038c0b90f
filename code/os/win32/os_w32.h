// Helpers shared by the Windows backend's files: UTF-8 <-> UTF-16 at the
// system boundary.
#pragma once

#include "../os_internal.h"

#include <malloc.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// Code units (with the terminator) that the UTF-16 form of a NUL-terminated
// UTF-8 text needs; a null text counts as empty. 0 when the text cannot be
// converted or is longer than any Windows path or command line (32767 units),
// which also bounds the stack buffer below.
i32 os_w32_wide_units(const char *utf8);
// Converts into a buffer of os_w32_wide_units(utf8) units, NUL-terminated.
void os_w32_to_wide(const char *utf8, wchar_t *out, i32 units);
// Converts `units` UTF-16 units (-1: up to and with the NUL) to UTF-8 into
// out (NUL-terminated, cut to capacity) and turns every "\" into "/".
// Returns the byte length without the NUL.
i32 os_w32_to_utf8_path(const wchar_t *wide, i32 units, char *out, i32 capacity);

// Declares `wchar_t *name`, the UTF-16 copy of utf8 on the caller's stack
// (so no heap allocation per path); null when it cannot be converted.
#define OS_W32_WIDE(name, utf8)                                                              \
    i32 name##_units = os_w32_wide_units(utf8);                                              \
    wchar_t *name = name##_units ? (wchar_t *)_alloca((size_t)name##_units * sizeof(wchar_t)) \
                                 : nullptr;                                                  \
    if (name) os_w32_to_wide(utf8, name, name##_units)
