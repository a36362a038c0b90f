// Child processes over posix_spawnp and pipes. The command line is one text
// quoted the Windows way (the recorder builds the same line for both
// targets); it is split by those rules and never passed through a shell.
#include "../../os_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// What Linux keeps in OsProcess::native.
struct OsLnxChild {
    i32 pid;
    i32 status;  // waitpid status once reaped
    u8 reaped;
    u8 status_known; // waitpid gave the status (it fails when SIGCHLD is ignored)
};
static_assert(sizeof(OsLnxChild) <= sizeof(((OsProcess *)nullptr)->native), "OsProcess::native too small");

static OsLnxChild *os_lnx_child(OsProcess *process) { return (OsLnxChild *)process->native; }

static void os_lnx_close(OsHandle *fd) {
    if (*fd >= 0) close((int)*fd);
    *fd = -1;
}

// A pipe whose ends are both close-on-exec (so no other child inherits them)
// and above the standard descriptors, so the child's dup2 onto 0, 1 and 2
// can never overwrite one end with the other.
static bool os_lnx_pipe(OsHandle *read_end, OsHandle *write_end) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    for (int &fd : fds) {
        if (fd > 2) continue;
        int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (moved < 0) {
            close(fds[0]);
            close(fds[1]);
            return false;
        }
        close(fd);
        fd = moved;
    }
    *read_end = fds[0];
    *write_end = fds[1];
    return true;
}

static void os_lnx_report_start_failure(const char *start_text, int code, StrSlice command_line) {
    // The Windows code for a missing program is 2 as well, so the same text
    // appears; Linux has no counterpart of ERROR_INVALID_NAME.
    os_diagnostic(start_text, code);
    if (code == ENOENT) os_diagnostic("ERROR_FILE_NOT_FOUND");
    os_diagnostic(")\n");
    os_diagnostic("* command: (%.*s)\n", (int)command_line.length,
                  command_line.data ? command_line.data : "");
}

// fork and exec with a parent-death signal, which posix_spawn cannot set.
// Between fork and exec only async-signal-safe calls. A failed exec reports
// its error through a close-on-exec pipe, so the caller learns it
// synchronously, as from posix_spawnp. Always in a process group of its own.
static int os_lnx_fork_exec_bound(const char *program, char **argv, int stdin_fd, int stdout_fd, pid_t *pid) {
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return errno;
    pid_t parent = getpid();
    pid_t child = fork();
    if (child < 0) {
        int error = errno;
        close(report[0]);
        close(report[1]);
        return error;
    }
    if (child == 0) {
        // Until exec the child runs the parent's handlers: a parent-death
        // SIGTERM would only set the parent's stop flag here, and an ignored
        // one would stay ignored after exec. So the defaults come first.
        struct sigaction default_action = {};
        default_action.sa_handler = SIG_DFL;
        for (int number = 1; number < NSIG; number++) sigaction(number, &default_action, nullptr);
        sigset_t mask;
        sigemptyset(&mask);
        sigprocmask(SIG_SETMASK, &mask, nullptr);
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The parent may have died before the signal was asked for.
        if (getppid() != parent) _exit(127);
        if (stdin_fd >= 0) {
            dup2(stdin_fd, 0);
            dup2(stdout_fd, 1);
            dup2(stdout_fd, 2);
        }
        execv(program, argv);
        int error = errno;
        ssize_t ignored = write(report[1], &error, sizeof error);
        (void)ignored;
        _exit(127);
    }
    close(report[1]);
    int error = 0;
    ssize_t got;
    do got = read(report[0], &error, sizeof error);
    while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got == (ssize_t)sizeof error) {
        waitpid(child, nullptr, 0);
        return error;
    }
    *pid = child;
    return 0;
}

// A program file the system may start: a regular file we may execute.
static bool os_lnx_is_program(const char *path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode) && access(path, X_OK) == 0;
}

// The heap path of the program a bare name (no "/") stands for: the
// executable's folder first, then each absolute folder of PATH. Never the
// current directory, which an empty or relative PATH entry would mean to
// posix_spawnp: a program planted there must not run in place of ours.
static char *os_lnx_find_program(const char *name) {
    size_t name_length = strlen(name);
    StrSlice folder = os_exe_folder();
    const char *path = getenv("PATH");
    const char *list = path ? path : "";
    for (i32 round = 0;; round++) {
        const char *start;
        size_t length;
        if (round == 0) {
            if (!folder.data) continue;
            start = folder.data;
            length = (size_t)folder.length;
        } else {
            if (!*list) return nullptr;
            start = list;
            const char *end = strchr(list, ':');
            length = end ? (size_t)(end - list) : strlen(list);
            list = end ? end + 1 : list + length;
            if (length == 0 || start[0] != '/') continue;
        }
        char *candidate = (char *)os_alloc((u32)(length + name_length + 2));
        if (!candidate) return nullptr;
        memcpy(candidate, start, length);
        size_t at = length;
        if (candidate[at - 1] != '/') candidate[at++] = '/';
        memcpy(candidate + at, name, name_length + 1);
        if (os_lnx_is_program(candidate)) return candidate;
        os_free(candidate);
    }
}

enum : u32 {
    OS_LNX_BOUND = 1 << 0,     // sent SIGTERM when this process ends
    OS_LNX_OWN_GROUP = 1 << 1, // a process group of its own (bound ones always)
};

// Starts argv as OS_LNX_* says. stdin_fd/stdout_fd < 0: the child keeps the
// parent's standard descriptors. Returns 0 with *pid set, else the error code.
static int os_lnx_spawn_argv(char **argv, int stdin_fd, int stdout_fd, u32 how, pid_t *pid) {
    if (!argv[0]) return ENOENT;
    bool has_folder = strchr(argv[0], '/') != nullptr;
    char *found = has_folder ? nullptr : os_lnx_find_program(argv[0]);
    if (!found && !has_folder) return ENOENT;
    if (how & OS_LNX_BOUND) {
        int error = os_lnx_fork_exec_bound(found ? found : argv[0], argv, stdin_fd, stdout_fd, pid);
        if (found) os_free(found);
        return error;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdin_fd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdin_fd, 0);
        posix_spawn_file_actions_adddup2(&actions, stdout_fd, 1);
        posix_spawn_file_actions_adddup2(&actions, stdout_fd, 2);
    }
    // os_init ignores SIGPIPE for us, and whoever started us may have left
    // others ignored (SIGINT for a background job); the child gets every
    // default back, as from a fresh start, and an empty signal mask.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, mask;
    sigfillset(&defaults);
    sigemptyset(&mask);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &mask);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (how & OS_LNX_OWN_GROUP) {
        // A terminal's Ctrl+C goes to its foreground group, ours: only we
        // decide when the child stops.
        posix_spawnattr_setpgroup(&attributes, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attributes, flags);
    // glibc reports a failed exec (ENOENT for a missing program) here,
    // synchronously, rather than through a child that exits with 127.
    int error = posix_spawn(pid, found ? found : argv[0], &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (found) os_free(found);
    return error;
}

// The command line split by the Windows rules, then started as above.
static int os_lnx_spawn(const char *command_line, int stdin_fd, int stdout_fd, u32 how, pid_t *pid) {
    i32 count = 0;
    char **argv = os_split_command_line(command_line, &count);
    if (!argv) return ENOMEM;
    int error = os_lnx_spawn_argv(argv, stdin_fd, stdout_fd, how, pid);
    os_free(argv);
    return error;
}

static i32 os_lnx_process_start(OsProcess *process, StrSlice command_line, u32 how) {
    memset(&process->creation_flags, 0,
           sizeof *process - ((u8 *)&process->creation_flags - (u8 *)process));
    process->stdin_read = process->stdin_write = -1;
    process->stdout_read = process->stdout_write = -1;
    if (!os_lnx_pipe(&process->stdout_read, &process->stdout_write)) {
        os_diagnostic("* NOTE * Failed CreatePipe\n");
        return 1;
    }
    if (!os_lnx_pipe(&process->stdin_read, &process->stdin_write)) {
        os_diagnostic("* NOTE * Failed CreatePipe\n");
        os_lnx_close(&process->stdout_read);
        os_lnx_close(&process->stdout_write);
        return 1;
    }
    pid_t pid = 0;
    int error = os_lnx_spawn(command_line.data, (int)process->stdin_read,
                             (int)process->stdout_write, how, &pid);
    if (error) {
        os_lnx_report_start_failure("* NOTE * Error starting process!, %i (", error, command_line);
        os_lnx_close(&process->stdin_read);
        os_lnx_close(&process->stdin_write);
        os_lnx_close(&process->stdout_read);
        os_lnx_close(&process->stdout_write);
        errno = error;
        return 1;
    }
    // The parent keeps the child's ends until os_process_kill, as on Windows,
    // so the reads and writes behave the same on both targets.
    os_lnx_child(process)->pid = (i32)pid;
    return 0;
}

i32 os_process_write(OsProcess *process, i32 size, const void *bytes) {
    if (process->stdin_write < 0 || size < 0) return -1;
    const u8 *at = (const u8 *)bytes;
    i32 left = size;
    while (left > 0) {
        ssize_t written = write((int)process->stdin_write, at, (size_t)left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return -1;
        at += written;
        left -= (i32)written;
    }
    return size;
}

i32 os_process_read(OsProcess *process, i32 capacity, void *buffer) {
    int waiting = 0;
    if (process->stdout_read < 0 || ioctl((int)process->stdout_read, FIONREAD, &waiting) != 0) return -1;
    if (waiting <= 0 || capacity <= 0) return 0;
    for (;;) {
        ssize_t got = read((int)process->stdout_read, buffer, (size_t)(waiting < capacity ? waiting : capacity));
        if (got < 0 && errno == EINTR) continue;
        return got < 0 ? -1 : (i32)got;
    }
}

bool os_process_is_running(OsProcess *process) {
    OsLnxChild *child = os_lnx_child(process);
    if (child->pid <= 0 || child->reaped) return false;
    int status = 0;
    pid_t done;
    do done = waitpid(child->pid, &status, WNOHANG);
    while (done < 0 && errno == EINTR);
    if (done == 0) return true;
    // Exited (now reaped) or not ours to wait for: either way never again
    // signal this pid, which the system may hand to another process.
    child->reaped = 1;
    child->status = status;
    child->status_known = done > 0;
    return false;
}

void os_process_kill(OsProcess *process) {
    OsLnxChild *child = os_lnx_child(process);
    if (os_process_is_running(process)) {
        kill(child->pid, SIGKILL);
        int status = 0;
        pid_t done;
        do done = waitpid(child->pid, &status, 0);
        while (done < 0 && errno == EINTR);
        child->reaped = 1;
        child->status = status;
        child->status_known = done > 0;
    }
    // The parent's own ends too: nothing uses them after this, and leaving
    // them open would leak two descriptors per child.
    os_lnx_close(&process->stdout_write);
    os_lnx_close(&process->stdin_read);
    os_lnx_close(&process->stdin_write);
    os_lnx_close(&process->stdout_read);
}

bool os_process_exit_code(OsProcess *process, i32 *code) {
    OsLnxChild *child = os_lnx_child(process);
    if (child->pid <= 0 || !child->reaped || !child->status_known) return false;
    if (WIFEXITED(child->status)) *code = WEXITSTATUS(child->status);
    else if (WIFSIGNALED(child->status)) *code = 128 + WTERMSIG(child->status);
    else return false;
    return true;
}

u32 os_process_id(OsProcess *process) { return (u32)os_lnx_child(process)->pid; }

bool os_process_wait_input_idle(OsProcess *process) {
    // Only Windows GUI programs have a message queue to wait on; a child
    // without one fails at once there as well.
    (void)process;
    return false;
}

// Waits for a child nobody else waits for, so it does not stay a zombie.
static void *os_lnx_reaper(void *argument) {
    pid_t pid = (pid_t)(intptr_t)argument;
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return nullptr;
}

static void os_lnx_reap_later(pid_t pid) {
    pthread_t thread;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attributes, 64 * 1024);
    pthread_create(&thread, &attributes, os_lnx_reaper, (void *)(intptr_t)pid);
    pthread_attr_destroy(&attributes);
}

i32 os_run_process(StrSlice command_line, OsProcessOutputCallback *callback, bool show_window) {
    (void)show_window;
    pid_t pid = 0;
    if (!callback) {
        int error = os_lnx_spawn(command_line.data, -1, -1, 0, &pid);
        if (error) {
            os_lnx_report_start_failure("* NOTE * Error starting process!!, %i (", error, command_line);
            errno = error;
            return 1;
        }
        os_lnx_reap_later(pid);
        return 0;
    }

    OsHandle out_read = -1, out_write = -1, in_read = -1, in_write = -1;
    if (!os_lnx_pipe(&out_read, &out_write)) {
        os_diagnostic("* NOTE * Failed CreatePipe\n");
        return 1;
    }
    if (!os_lnx_pipe(&in_read, &in_write)) {
        os_diagnostic("* NOTE * Failed CreatePipe\n");
        os_lnx_close(&out_read);
        os_lnx_close(&out_write);
        return 1;
    }
    int error = os_lnx_spawn(command_line.data, (int)in_read, (int)out_write, 0, &pid);
    // The child's ends go at once, so the read below ends when the child
    // closes its output.
    os_lnx_close(&out_write);
    os_lnx_close(&in_read);
    if (error) {
        os_lnx_report_start_failure("* NOTE * Error starting process (with callback path)!, %i (",
                                    error, command_line);
        os_lnx_close(&out_read);
        os_lnx_close(&in_write);
        errno = error;
        return 1;
    }
    // Nothing is written to the child: its input ends now, so a child that
    // reads to the end of its input (sort, cat) can finish.
    os_lnx_close(&in_write);
    char chunk[4096];
    for (;;) {
        ssize_t got = read((int)out_read, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        callback(StrSlice{(i64)got, chunk});
    }
    os_lnx_close(&out_read);
    // A child may close its output and run on; do not wait for it here.
    os_lnx_reap_later(pid);
    return 0;
}

i32 os_shell_open(StrSlice path) {
    // The desktop's own opener picks the file manager or application; started
    // like every other child (no shell, default signals) and reaped in the
    // background so it never lingers.
    char program[] = "xdg-open";
    char *argv[] = {program, path.data, nullptr};
    pid_t pid = 0;
    if (!path.data || os_lnx_spawn_argv(argv, -1, -1, 0, &pid) != 0) return 1;
    os_lnx_reap_later(pid);
    return 0;
}

// A child has no console window of its own here, so show_window means nothing.
i32 os_process_start(OsProcess *process, StrSlice command_line, bool show_window) {
    (void)show_window;
    return os_lnx_process_start(process, command_line, OS_LNX_OWN_GROUP);
}

i32 os_process_start_bound(OsProcess *process, StrSlice command_line, bool show_window) {
    (void)show_window;
    return os_lnx_process_start(process, command_line, OS_LNX_BOUND | OS_LNX_OWN_GROUP);
}

bool os_process_unbind(OsProcess *process) {
    (void)process;
    return false;
}

StrSlice os_program_path(StrSlice name) {
    StrSlice none = {0, nullptr};
    if (!name.data || name.length < 1 || memchr(name.data, '/', (size_t)name.length)) return none;
    StrSlice bare = os_string_copy(name.data, name.length);
    if (!bare.data) return none;
    char *found = os_lnx_find_program(bare.data);
    os_free_string(&bare);
    return found ? StrSlice{(i64)strlen(found), found} : none;
}

