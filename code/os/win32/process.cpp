// Child processes with their standard input and output on anonymous pipes.
#include "os_w32.h"

#include <shellapi.h>

#include <string.h>

// What Windows keeps in OsProcess::native.
struct OsW32Child {
    PROCESS_INFORMATION info;
    HANDLE job; // a bound child's own job; null otherwise
};
static_assert(sizeof(OsW32Child) <= sizeof(((OsProcess *)nullptr)->native), "OsProcess::native");
static PROCESS_INFORMATION *os_w32_child(OsProcess *process) { return &((OsW32Child *)process->native)->info; }
static HANDLE *os_w32_child_job(OsProcess *process) { return &((OsW32Child *)process->native)->job; }

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

// Whether a folder of PATH names a place of its own: a drive or network
// root. A relative entry, like an empty one, would mean the current folder.
static bool os_w32_absolute_folder(const wchar_t *folder, size_t length) {
    if (length >= 3 && folder[1] == L':' && (folder[2] == L'\\' || folder[2] == L'/')) return true;
    return length >= 2 && (folder[0] == L'\\' || folder[0] == L'/') && (folder[1] == L'\\' || folder[1] == L'/');
}

// folder\name into path (MAX_PATH units) when that is a file; false otherwise.
static bool os_w32_program_in(const wchar_t *folder, size_t length, const wchar_t *name, wchar_t *path) {
    size_t name_length = wcslen(name);
    if (length == 0 || length + name_length + 2 > MAX_PATH) return false;
    memcpy(path, folder, length * sizeof(wchar_t));
    if (path[length - 1] != L'\\' && path[length - 1] != L'/') path[length++] = L'\\';
    memcpy(path + length, name, (name_length + 1) * sizeof(wchar_t));
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The program a bare name (no folder part) stands for, into path: the
// executable's folder first, then each absolute folder of PATH. Never the
// current folder, which CreateProcess would search right after ours: a
// program planted there (Downloads, a USB stick) must not run in our place.
static bool os_w32_find_program(const wchar_t *bare, wchar_t *path) {
    wchar_t name[MAX_PATH];
    size_t length = wcslen(bare);
    if (length + 5 > MAX_PATH) return false;
    memcpy(name, bare, (length + 1) * sizeof(wchar_t));
    if (!wcschr(name, L'.')) wcscat(name, L".exe");
    wchar_t folder[MAX_PATH];
    DWORD units = GetModuleFileNameW(nullptr, folder, MAX_PATH);
    if (units > 0 && units < MAX_PATH) {
        wchar_t *slash = wcsrchr(folder, L'\\');
        if (slash && os_w32_program_in(folder, (size_t)(slash - folder), name, path)) return true;
    }
    DWORD needed = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    wchar_t *list = needed ? (wchar_t *)os_alloc(needed * (DWORD)sizeof(wchar_t)) : nullptr;
    bool found = false;
    if (list && GetEnvironmentVariableW(L"PATH", list, needed) < needed) {
        for (wchar_t *entry = list; !found && *entry;) {
            wchar_t *end = wcschr(entry, L';');
            size_t entry_length = end ? (size_t)(end - entry) : wcslen(entry);
            wchar_t *start = entry;
            if (entry_length >= 2 && start[0] == L'"' && start[entry_length - 1] == L'"') {
                start++;
                entry_length -= 2;
            }
            found = os_w32_absolute_folder(start, entry_length) &&
                    os_w32_program_in(start, entry_length, name, path);
            entry = end ? end + 1 : entry + wcslen(entry);
        }
    }
    if (list) os_free(list);
    return found;
}

// The line to start and the program to name: for a bare program name, a new
// heap line (free with os_free) that starts with the quoted path found, and
// that path in application; otherwise *line_out is the line itself and
// application empty. False, with ERROR_FILE_NOT_FOUND, when a bare name
// names no program.
static bool os_w32_resolve_program(wchar_t *line, wchar_t **line_out, wchar_t *application) {
    *line_out = line;
    application[0] = 0;
    // The program name by the same rules CreateProcess reads it with.
    wchar_t name[MAX_PATH];
    size_t name_length = 0;
    bool in_quotes = false, bare = true;
    wchar_t *at = line;
    while (*at == L' ' || *at == L'\t') at++;
    for (; *at && (in_quotes || (*at != L' ' && *at != L'\t')); at++) {
        if (*at == L'"') {
            in_quotes = !in_quotes;
            continue;
        }
        if (*at == L'\\' || *at == L'/' || *at == L':') bare = false;
        if (name_length + 1 >= MAX_PATH) return true; // no bare name is this long: left to the system
        name[name_length++] = *at;
    }
    name[name_length] = 0;
    if (!bare || name_length == 0) return true;
    if (!os_w32_find_program(name, application)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    size_t path_length = wcslen(application), rest = wcslen(at);
    wchar_t *quoted = (wchar_t *)os_alloc((u32)((path_length + rest + 3) * sizeof(wchar_t)));
    if (!quoted) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    quoted[0] = L'"';
    memcpy(quoted + 1, application, path_length * sizeof(wchar_t));
    quoted[path_length + 1] = L'"';
    memcpy(quoted + path_length + 2, at, (rest + 1) * sizeof(wchar_t));
    *line_out = quoted;
    return true;
}

// CreateProcessW on the resolved program; keeps the system's last error.
static BOOL os_w32_create_process(wchar_t *line, BOOL inherit, DWORD flags, STARTUPINFOW *startup,
                                  PROCESS_INFORMATION *info) {
    wchar_t application[MAX_PATH];
    wchar_t *resolved = nullptr;
    if (!os_w32_resolve_program(line, &resolved, application)) return FALSE;
    BOOL started = CreateProcessW(application[0] ? application : nullptr, resolved, nullptr, nullptr, inherit,
                                  flags, nullptr, nullptr, startup, info);
    DWORD code = GetLastError();
    if (resolved != line) os_free(resolved);
    SetLastError(code);
    return started;
}

// extra_flags: more process-creation flags for this start only.
static i32 os_w32_process_start(OsProcess *process, StrSlice command_line, bool show_window, DWORD extra_flags) {
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
    SECURITY_ATTRIBUTES security = {};
    security.nLength = sizeof security;
    security.bInheritHandle = TRUE;
    if (!os_w32_make_pipes(&security, &process->stdin_read, &process->stdin_write,
                           &process->stdout_read, &process->stdout_write))
        return 1;
    STARTUPINFOW startup = {};
    os_w32_init_startup(&startup, process->stdin_read, process->stdout_write);
    if (!os_w32_create_process(wide, TRUE, process->creation_flags | extra_flags, &startup, os_w32_child(process))) {
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
    PROCESS_INFORMATION *info = os_w32_child(process);
    return info->hThread && WaitForSingleObject(info->hThread, 0) == WAIT_TIMEOUT;
}

bool os_process_exit_code(OsProcess *process, i32 *code) {
    PROCESS_INFORMATION *info = os_w32_child(process);
    // Liveness is judged by the main thread, which ends a moment before the
    // process has its exit code.
    if (!info->hProcess || WaitForSingleObject(info->hProcess, 1000) != WAIT_OBJECT_0) return false;
    DWORD exit_code = 0;
    if (!GetExitCodeProcess(info->hProcess, &exit_code)) return false;
    *code = (i32)exit_code;
    return true;
}

void os_process_kill(OsProcess *process) {
    PROCESS_INFORMATION *info = os_w32_child(process);
    if (os_process_is_running(process)) TerminateProcess(info->hProcess, 0);
    if (info->hProcess) CloseHandle(info->hProcess);
    if (info->hThread) CloseHandle(info->hThread);
    info->hProcess = info->hThread = nullptr;
    HANDLE *job = os_w32_child_job(process);
    if (*job) CloseHandle(*job);
    *job = nullptr;
    os_w32_close(&process->stdout_write);
    os_w32_close(&process->stdin_read);
    // The parent's own ends too: nothing uses them after this, and leaving
    // them open would leak two handles per child.
    os_w32_close(&process->stdin_write);
    os_w32_close(&process->stdout_read);
}

u32 os_process_id(OsProcess *process) { return os_w32_child(process)->dwProcessId; }

bool os_process_wait_input_idle(OsProcess *process) {
    PROCESS_INFORMATION *info = os_w32_child(process);
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
        if (!os_w32_create_process(wide, FALSE, flags, &startup, &info)) {
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
    BOOL started = os_w32_create_process(wide, TRUE, flags, &startup, &info);
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
    // Nothing is written to the child: its input ends now, so a child that
    // reads to the end of its input (sort, more) can finish.
    os_w32_close(&stdin_write);
    if (started) {
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(os_w32_handle(stdout_read), chunk, sizeof chunk, &got, nullptr) && got > 0)
            callback(StrSlice{(i64)got, chunk});
    }
    os_w32_close(&stdout_read);
    return started ? 0 : 1;
}

i32 os_process_start(OsProcess *process, StrSlice command_line, bool show_window) {
    return os_w32_process_start(process, command_line, show_window, 0);
}

// A job of the child's own, which ends it when its last handle closes: ours,
// closed by os_process_kill or by the system when this process ends, however
// it ends. One job per child, so one child can be let go alone.
static HANDLE os_w32_kill_on_close_job(void) {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

i32 os_process_start_bound(OsProcess *process, StrSlice command_line, bool show_window) {
    // Suspended until it is in its job: if we died in between, it would run free.
    i32 result = os_w32_process_start(process, command_line, show_window, CREATE_SUSPENDED);
    if (result != 0) return result;
    PROCESS_INFORMATION *info = os_w32_child(process);
    HANDLE job = os_w32_kill_on_close_job();
    // Without a job (or inside one that forbids it) the child still runs;
    // only the guarantee is lost, as on systems before job nesting.
    if (job && !AssignProcessToJobObject(job, info->hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    *os_w32_child_job(process) = job;
    ResumeThread(info->hThread);
    return 0;
}

bool os_process_unbind(OsProcess *process) {
    HANDLE job = *os_w32_child_job(process);
    if (!job) return false;
    // The same job without its one limit: closing it then ends nobody.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) != 0;
}

// Opening a path with the shell's "open" verb: a child the shell starts.
i32 os_shell_open(StrSlice path) {
    OS_W32_WIDE(wide, path.data);
    if (!wide) return 1;
    // Explorer takes "C:/a/b" for files but not always for folders.
    for (wchar_t *c = wide; *c; c++)
        if (*c == L'/') *c = L'\\';
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.lpVerb = L"open";
    info.lpFile = wide;
    info.nShow = SW_SHOWDEFAULT;
    return ShellExecuteExW(&info) ? 0 : 1;
}

StrSlice os_program_path(StrSlice name) {
    StrSlice none = {0, nullptr};
    if (!name.data || name.length < 1 || memchr(name.data, '/', (size_t)name.length) ||
        memchr(name.data, '\\', (size_t)name.length) || memchr(name.data, ':', (size_t)name.length))
        return none;
    OS_W32_WIDE(wide, name.data);
    wchar_t found[MAX_PATH];
    if (!wide || !os_w32_find_program(wide, found)) return none;
    char path[MAX_PATH * 3 + 1];
    i32 length = os_w32_to_utf8_path(found, -1, path, sizeof path);
    return length > 0 ? os_string_copy(path, length) : none;
}

