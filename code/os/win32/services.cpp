// Process-wide services: the crash filter, the fatal box, system facts, the
// command line and dynamic libraries.
#include "os_w32.h"

#include <stdlib.h>
#include <string.h>

static CrashHook *os_w32_crash_hook;

static LONG WINAPI os_w32_crash_filter(EXCEPTION_POINTERS *pointers) {
    EXCEPTION_RECORD *record = pointers->ExceptionRecord;
    u32 code = (u32)record->ExceptionCode;
    CrashHook *hook = os_w32_crash_hook;
    if (hook) hook(1, os_exception_description(code), code, (u64)(uintptr_t)record->ExceptionAddress);
    // The system ends the process without its own error dialog.
    return EXCEPTION_EXECUTE_HANDLER;
}

void os_set_crash_handler(CrashHook *hook) {
    if (!os_w32_crash_hook) SetUnhandledExceptionFilter(os_w32_crash_filter);
    os_w32_crash_hook = hook;
}

void os_fatal(const char *message) {
    OS_W32_WIDE(text, message);
    MessageBoxW(nullptr, text ? text : L"", L"YA FUCKED UP", MB_OK);
    abort();
}

void os_abort_all_threads(void) { os_diagnostic("* TODO * os_abort_all_threads\n"); }

u32 os_processor_count(void) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
}

u64 os_installed_memory(void) {
    ULONGLONG kilobytes = 0;
    GetPhysicallyInstalledSystemMemory(&kilobytes);
    return (u64)kilobytes * 1024;
}

StrSlice os_command_line(void) {
    static StrSlice cached;
    if (cached.data) return cached;
    const char *line = GetCommandLineA();
    size_t length = line ? strlen(line) : 0;
    while (length > 0 && (line[length - 1] == ' ' || line[length - 1] == '\t')) --length;
    char *copy = (char *)os_alloc((u32)length + 1);
    if (!copy) return StrSlice{0, nullptr};
    if (length) memcpy(copy, line, length);
    copy[length] = 0;
    cached = StrSlice{(i64)length, copy};
    return cached;
}

OsLibrary os_load_library(StrSlice path) {
    OsLibrary library = {nullptr, 0};
    OS_W32_WIDE(wide, path.data);
    if (!wide) return library;
    library.handle = (void *)LoadLibraryW(wide);
    library.loaded = library.handle ? 1 : 0;
    return library;
}

void os_free_library(OsLibrary library) {
    if (library.loaded) FreeLibrary((HMODULE)library.handle);
}

void *os_library_symbol(OsLibrary library, StrSlice name) {
    if (!library.handle || !library.loaded || !name.data) return nullptr;
    return (void *)GetProcAddress((HMODULE)library.handle, name.data);
}
