// Process-wide services: the crash hook over fault signals, the fatal stop,
// system facts, the command line and dynamic libraries.
#include "../../os_internal.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

//~ Crash hook

static CrashHook *volatile os_lnx_crash_hook;
// The installing thread's stack, to tell a stack overflow from other faults.
static uintptr_t os_lnx_stack_low, os_lnx_stack_high;

static const int os_lnx_crash_signals[] = {SIGSEGV, SIGFPE, SIGILL, SIGBUS};

// The Windows exception code that names the same fault; 0 (described as
// "UNKNOWN") for a signal that another process or raise() sent.
static u32 os_lnx_exception_code(int signal_number, const siginfo_t *info) {
    if (info->si_code <= 0) return 0;
    switch (signal_number) {
    case SIGSEGV: {
        uintptr_t at = (uintptr_t)info->si_addr;
        // The guard pages lie just below the lowest usable stack address.
        if (os_lnx_stack_high && at < os_lnx_stack_high && at + 1024 * 1024 >= os_lnx_stack_low) return OS_EXCEPTION_STACK_OVERFLOW;
        return OS_EXCEPTION_ACCESS_VIOLATION;
    }
    case SIGBUS: return info->si_code == BUS_ADRALN ? OS_EXCEPTION_DATATYPE_MISALIGNMENT : OS_EXCEPTION_IN_PAGE_ERROR;
    case SIGILL:
        return info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG ? OS_EXCEPTION_PRIV_INSTRUCTION : OS_EXCEPTION_ILLEGAL_INSTRUCTION;
    case SIGFPE:
        switch (info->si_code) {
        case FPE_INTDIV: return OS_EXCEPTION_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF: return OS_EXCEPTION_INT_OVERFLOW;
        case FPE_FLTDIV: return OS_EXCEPTION_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF: return OS_EXCEPTION_FLT_OVERFLOW;
        case FPE_FLTUND: return OS_EXCEPTION_FLT_UNDERFLOW;
        case FPE_FLTRES: return OS_EXCEPTION_FLT_INEXACT_RESULT;
        case FPE_FLTINV: return OS_EXCEPTION_FLT_INVALID_OPERATION;
        case FPE_FLTSUB: return OS_EXCEPTION_ARRAY_BOUNDS_EXCEEDED;
        default: return 0;
        }
    default: return 0;
    }
}

static void os_lnx_crash_signal(int signal_number, siginfo_t *info, void *) {
    CrashHook *hook = os_lnx_crash_hook;
    if (hook)
        hook(1, os_exception_description(os_lnx_exception_code(signal_number, info)), (u64)signal_number,
             (u64)(uintptr_t)info->si_addr);
    // End as the signal would have ended the process: the default action,
    // delivered once this handler returns (or when the fault repeats).
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

static void os_lnx_remember_stack(void) {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
    void *low = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
        os_lnx_stack_low = (uintptr_t)low;
        os_lnx_stack_high = (uintptr_t)low + size;
    }
    pthread_attr_destroy(&attributes);
}

void os_set_crash_handler(CrashHook *hook) {
    static bool installed;
    if (!installed && !os_lnx_crash_hook) {
        // A stack overflow leaves no stack to run the handler on.
        size_t size = 64 * 1024;
        stack_t alternate = {};
        alternate.ss_sp = os_alloc((u32)size);
        alternate.ss_size = size;
        if (alternate.ss_sp) sigaltstack(&alternate, nullptr);
        os_lnx_remember_stack();
        struct sigaction action = {};
        action.sa_sigaction = os_lnx_crash_signal;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        for (int signal_number : os_lnx_crash_signals) sigaction(signal_number, &action, nullptr);
        installed = true;
    }
    os_lnx_crash_hook = hook;
}

//~ Fatal stop and system facts

static void os_lnx_write_all(int fd, const char *bytes, size_t length) {
    while (length > 0) {
        ssize_t written = write(fd, bytes, length);
        if (written <= 0) return;
        bytes += written;
        length -= (size_t)written;
    }
}

void os_fatal(const char *message) {
    // No message box on X: the text goes where a terminal or a log sees it.
    const char *text = message ? message : "";
    os_lnx_write_all(STDOUT_FILENO, text, strlen(text));
    os_lnx_write_all(STDOUT_FILENO, "\n", 1);
    os_lnx_write_all(STDERR_FILENO, text, strlen(text));
    os_lnx_write_all(STDERR_FILENO, "\n", 1);
    abort();
}

void os_abort_all_threads(void) { os_diagnostic("* TODO * os_abort_all_threads\n"); }

u32 os_processor_count(void) {
    long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? (u32)count : 1;
}

u64 os_installed_memory(void) {
    long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && page_size > 0 ? (u64)pages * (u64)page_size : 0;
}

//~ Command line

// Appends one argument quoted so that the Windows rules (os_split_command_line)
// give it back unchanged.
static char *os_lnx_quote_argument(char *out, const char *argument, bool program) {
    bool plain = *argument != 0;
    for (const char *p = argument; *p; ++p)
        if (*p == ' ' || *p == '\t' || *p == '"') plain = false;
    if (plain) {
        size_t length = strlen(argument);
        memcpy(out, argument, length);
        return out + length;
    }
    *out++ = '"';
    size_t backslashes = 0;
    for (const char *p = argument; *p; ++p) {
        if (*p == '\\') {
            ++backslashes;
        } else if (*p == '"' && !program) {
            for (size_t i = 0; i < backslashes + 1; ++i) *out++ = '\\';
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        *out++ = *p;
    }
    // Backslashes before the closing quote must not escape it.
    if (!program)
        for (size_t i = 0; i < backslashes; ++i) *out++ = '\\';
    *out++ = '"';
    return out;
}

StrSlice os_command_line(void) {
    static StrSlice cached;
    if (cached.data) return cached;
    int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return StrSlice{0, nullptr};
    u32 capacity = 4096, size = 0;
    char *raw = (char *)os_alloc(capacity + 1);
    for (;;) {
        if (!raw) break;
        if (size == capacity) {
            char *grown = (char *)os_realloc(raw, capacity * 2 + 1);
            if (!grown) break;
            raw = grown;
            capacity *= 2;
        }
        ssize_t got = read(fd, raw + size, capacity - size);
        if (got <= 0) break;
        size += (u32)got;
    }
    close(fd);
    if (!raw) return StrSlice{0, nullptr};
    raw[size] = 0;
    // Each byte can at worst double, plus two quotes and a space per argument.
    char *line = (char *)os_alloc(size * 4 + 4);
    if (!line) {
        os_free(raw);
        return StrSlice{0, nullptr};
    }
    char *out = line;
    for (u32 at = 0; at < size; at += (u32)strlen(raw + at) + 1) {
        if (out != line) *out++ = ' ';
        out = os_lnx_quote_argument(out, raw + at, at == 0);
    }
    os_free(raw);
    while (out > line && (out[-1] == ' ' || out[-1] == '\t')) --out;
    *out = 0;
    cached = StrSlice{(i64)(out - line), line};
    return cached;
}

//~ Libraries

OsLibrary os_load_library(StrSlice path) {
    OsLibrary library = {nullptr, 0};
    if (!path.data) return library;
    library.handle = dlopen(path.data, RTLD_NOW | RTLD_LOCAL);
    library.loaded = library.handle ? 1 : 0;
    return library;
}

void os_free_library(OsLibrary library) {
    if (library.loaded && library.handle) dlclose(library.handle);
}

void *os_library_symbol(OsLibrary library, StrSlice name) {
    if (!library.handle || !library.loaded || !name.data) return nullptr;
    return dlsym(library.handle, name.data);
}
