// Child processes with their standard input and output on anonymous pipes.
#include "os_w32.h"

#include <string.h>

static_assert(sizeof(SECURITY_ATTRIBUTES) == sizeof(((OsProcess *)nullptr)->security), "security");
static_assert(sizeof(STARTUPINFOW) == sizeof(((OsProcess *)nullptr)->startup), "startup");
static_assert(sizeof(PROCESS_INFORMATION) == sizeof(((OsProcess *)nullptr)->info), "info");

static HANDLE os_w32_handle(OsHandle handle) { return (HANDLE)(intptr_t)handle; }
static OsHandle os_w32_keep(HANDLE handle) { return (OsHandle)(intptr_t)handle; }

static void os_w32_close(OsHandle *handle) {
    if (*handle) CloseHandle(os_w32_handle(*handle));
    *handle = 0;
}

// Prints the failure of a process creation; keeps the system's last error.
static void os_w32_report_start_failure(const char *start_text, StrSlice command_line) {
    DWORD code = GetLastError();
    os_diagnostic(start_text, (int)code);
    if (code == ERROR_FILE_NOT_FOUND) os_diagnostic("ERROR_FILE_NOT_FOUND");
    else if (code == ERROR_INVALID_NAME) os_diagnostic("ERROR_INVALID_NAME");
    os_diagnostic(")\n");
    os_diagnostic("* command: (%.*s)\n", (int)command_line.length,
                  command_line.data ? command_line.data : "");
    SetLastError(code);
}

// The two pipes of a child, the parent's ends not inheritable. On failure
// prints the note and closes whatever was made.
static bool os_w32_make_pipes(SECURITY_ATTRIBUTES *security, OsHandle *stdin_read,
                              OsHandle *stdin_write, OsHandle *stdout_read, OsHandle *stdout_write) {
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, security, 0)) {
        os_diagnostic("* NOTE * Failed CreatePipe\n");
        return false;
    }
    *stdout_read = os_w32_keep(read_end);
    *stdout_write = os_w32_keep(write_end);
    bool ok = false;
    if (!SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0)) {
        os_diagnostic("* NOTE * Failed SetHandleInformation\n");
    } else if (!CreatePipe(&read_end, &write_end, security, 0)) {
        os_diagnostic("* NOTE * Failed CreatePipe\n");
    } else {
        *stdin_read = os_w32_keep(read_end);
        *stdin_write = os_w32_keep(write_end);
        if (SetHandleInformation(write_end, HANDLE_FLAG_INHERIT, 0)) ok = true;
        else os_diagnostic("* NOTE * Failed SetHandleInformation\n");
    }
    if (!ok) {
        os_w32_close(stdout_read);
        os_w32_close(stdout_write);
        os_w32_close(stdin_read);
        os_w32_close(stdin_write);
    }
    return ok;
}

static void os_w32_init_startup(STARTUPINFOW *startup, OsHandle stdin_read, OsHandle stdout_write) {
    startup->cb = sizeof *startup;
    startup->dwFlags = STARTF_USESTDHANDLES;
    startup->hStdInput = os_w32_handle(stdin_read);
    startup->hStdOutput = os_w32_handle(stdout_write);
    startup->hStdError = os_w32_handle(stdout_write);
}

static DWORD os_w32_creation_flags(bool show_window) {
    return show_window ? NORMAL_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS | CREATE_NO_WINDOW;
}

i32 os_process_start(OsProcess *process, StrSlice command_line, bool show_window) {
    OS_W32_WIDE(wide, command_line.data);
    memset(&process->creation_flags, 0,
           sizeof *process - ((u8 *)&process->creation_flags - (u8 *)process));
    process->stdin_read = process->stdin_write = 0;
    process->stdout_read = process->stdout_write = 0;
    if (!wide) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        os_w32_report_start_failure("* NOTE * Error starting process!, %i (", command_line);
        return 1;
    }
    process->creation_flags = os_w32_creation_flags(show_window);
    SECURITY_ATTRIBUTES *security = (SECURITY_ATTRIBUTES *)process->security;
    STARTUPINFOW *startup = (STARTUPINFOW *)process->startup;
    PROCESS_INFORMATION *info = (PROCESS_INFORMATION *)process->info;
    security->nLength = sizeof *security;
    security->bInheritHandle = TRUE;
    if (!os_w32_make_pipes(security, &process->stdin_read, &process->stdin_write,
                           &process->stdout_read, &process->stdout_write))
        return 1;
    os_w32_init_startup(startup, process->stdin_read, process->stdout_write);
    if (!CreateProcessW(nullptr, wide, nullptr, nullptr, TRUE, process->creation_flags, nullptr,
                        nullptr, startup, info)) {
        os_w32_report_start_failure("* NOTE * Error starting process!, %i (", command_line);
        DWORD code = GetLastError();
        os_w32_close(&process->stdin_read);
        os_w32_close(&process->stdin_write);
        os_w32_close(&process->stdout_read);
        os_w32_close(&process->stdout_write);
        SetLastError(code);
        return 1;
    }
    // The child has its copies now. The parent keeps its own until
    // os_process_kill but must not hand them to the next child, which would
    // then hold this child's pipes open.
    SetHandleInformation(os_w32_handle(process->stdin_read), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(os_w32_handle(process->stdout_write), HANDLE_FLAG_INHERIT, 0);
    return 0;
}

i32 os_process_write(OsProcess *process, i32 size, const void *bytes) {
    if (size < 0) return -1;
    DWORD written = 0;
    if (!WriteFile(os_w32_handle(process->stdin_write), bytes, (DWORD)size, &written, nullptr))
        return -1;
    return (i32)written;
}

i32 os_process_read(OsProcess *process, i32 capacity, void *buffer) {
    DWORD waiting = 0;
    if (!PeekNamedPipe(os_w32_handle(process->stdout_read), nullptr, 0, nullptr, &waiting, nullptr))
        return -1;
    if (waiting == 0 || capacity <= 0) return 0;
    DWORD got = 0;
    DWORD want = waiting < (DWORD)capacity ? waiting : (DWORD)capacity;
    if (!ReadFile(os_w32_handle(process->stdout_read), buffer, want, &got, nullptr)) return -1;
    return (i32)got;
}

bool os_process_is_running(OsProcess *process) {
    PROCESS_INFORMATION *info = (PROCESS_INFORMATION *)process->info;
    return info->hThread && WaitForSingleObject(info->hThread, 0) == WAIT_TIMEOUT;
}

bool os_process_exit_code(OsProcess *process, i32 *code) {
    PROCESS_INFORMATION *info = (PROCESS_INFORMATION *)process->info;
    // Liveness is judged by the main thread, which ends a moment before the
    // process has its exit code.
    if (!info->hProcess || WaitForSingleObject(info->hProcess, 1000) != WAIT_OBJECT_0) return false;
    DWORD exit_code = 0;
    if (!GetExitCodeProcess(info->hProcess, &exit_code)) return false;
    *code = (i32)exit_code;
    return true;
}

void os_process_kill(OsProcess *process) {
    PROCESS_INFORMATION *info = (PROCESS_INFORMATION *)process->info;
    if (os_process_is_running(process)) TerminateProcess(info->hProcess, 0);
    if (info->hProcess) CloseHandle(info->hProcess);
    if (info->hThread) CloseHandle(info->hThread);
    info->hProcess = info->hThread = nullptr;
    os_w32_close(&process->stdout_write);
    os_w32_close(&process->stdin_read);
    // The parent's own ends too: nothing uses them after this, and leaving
    // them open would leak two handles per child.
    os_w32_close(&process->stdin_write);
    os_w32_close(&process->stdout_read);
}

bool os_process_wait_input_idle(OsProcess *process) {
    PROCESS_INFORMATION *info = (PROCESS_INFORMATION *)process->info;
    return WaitForInputIdle(info->hProcess, 5000) == 0;
}

i32 os_run_process(StrSlice command_line, OsProcessOutputCallback *callback, bool show_window) {
    OS_W32_WIDE(wide, command_line.data);
    DWORD flags = os_w32_creation_flags(show_window);
    PROCESS_INFORMATION info = {};
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    const char *failure = callback ? "* NOTE * Error starting process (with callback path)!, %i ("
                                   : "* NOTE * Error starting process!!, %i (";
    if (!wide) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        os_w32_report_start_failure(failure, command_line);
        return 1;
    }
    if (!callback) {
        if (!CreateProcessW(nullptr, wide, nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                            &startup, &info)) {
            os_w32_report_start_failure(failure, command_line);
            return 1;
        }
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        return 0;
    }

    SECURITY_ATTRIBUTES security = {};
    security.nLength = sizeof security;
    security.bInheritHandle = TRUE;
    OsHandle stdin_read = 0, stdin_write = 0, stdout_read = 0, stdout_write = 0;
    if (!os_w32_make_pipes(&security, &stdin_read, &stdin_write, &stdout_read, &stdout_write))
        return 1;
    os_w32_init_startup(&startup, stdin_read, stdout_write);
    BOOL started = CreateProcessW(nullptr, wide, nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                  &startup, &info);
    if (!started) {
        os_w32_report_start_failure(failure, command_line);
    } else {
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    // The child's ends go at once, so the read below ends when the child
    // closes its output.
    os_w32_close(&stdout_write);
    os_w32_close(&stdin_read);
    if (started) {
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(os_w32_handle(stdout_read), chunk, sizeof chunk, &got, nullptr) && got > 0)
            callback(StrSlice{(i64)got, chunk});
    }
    os_w32_close(&stdout_read);
    os_w32_close(&stdin_write);
    return started ? 0 : 1;
}

bool os_program_on_path(StrSlice name) {
    if (!name.data || name.length < 1) return false;
    OS_W32_WIDE(wide, name.data);
    if (!wide) return false;
    // The places process creation searches for a bare name: the program's
    // folder, the current folder, the system folders, then PATH.
    wchar_t found[MAX_PATH];
    DWORD length = SearchPathW(nullptr, wide, L".exe", MAX_PATH, found, nullptr);
    return length > 0 && length < MAX_PATH;
}
