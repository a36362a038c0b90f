// Start-up, clock, sleeps and the standard-output write.
#include "os_lnx_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sched.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

// Ticks are 100 ns, like the usual Windows performance counter, so the same
// arithmetic limits hold on both platforms.
static const i64 os_lnx_tick_ns = 100;

volatile sig_atomic_t os_lnx_stop_signal;

static void os_lnx_on_stop_signal(int) { os_lnx_stop_signal = 1; }

// Started with a standard descriptor closed (`vornby >&-`, some launchers),
// the next open would take its number: the X connection or the log would
// become standard output and receive every print. /dev/null holds each
// free number first; in order, since an open takes the lowest free one.
static void os_lnx_fill_standard_descriptors(void) {
    for (int fd = 0; fd <= 2; fd++)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", O_RDWR);
}

void os_init(void) {
    os_lnx_fill_standard_descriptors();
    os_frequency = 1000000000 / os_lnx_tick_ns;
    // A reader that went away must make writes fail, not kill the recorder.
    signal(SIGPIPE, SIG_IGN);
    // An ignored SIGCHLD, inherited from whoever started us, makes the system
    // reap children itself, so no exit status could ever be read.
    signal(SIGCHLD, SIG_DFL);
    struct sigaction stop = {};
    stop.sa_handler = os_lnx_on_stop_signal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGHUP, &stop, nullptr);
}

i64 os_ticks(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (i64)now.tv_sec * (1000000000 / os_lnx_tick_ns) + now.tv_nsec / os_lnx_tick_ns;
}

static OsDateTime os_lnx_date_time(bool local) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm t;
    if (local) localtime_r(&now.tv_sec, &t);
    else gmtime_r(&now.tv_sec, &t);
    return os_date_time_from_calendar(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_wday,
                                      t.tm_hour, t.tm_min, t.tm_sec,
                                      (int)(now.tv_nsec / 1000000));
}

OsDateTime os_system_time(void) { return os_lnx_date_time(false); }

OsDateTime os_local_time(void) { return os_lnx_date_time(true); }

void os_sleep_ms(i32 milliseconds) {
    if (milliseconds <= 0) {
        sched_yield();
        return;
    }
    // One nanosleep, not resumed after a signal: the Linux counterpart of an
    // alertable sleep that an APC may end early.
    timespec span = {milliseconds / 1000, (long)(milliseconds % 1000) * 1000000L};
    nanosleep(&span, nullptr);
}

void os_platform_write_stdout(const char *bytes, i32 length) {
    // A pipe may take a piece in parts; finish it so no byte is lost, but
    // give up on any real error (closed pipe, no stdout).
    while (length > 0) {
        ssize_t written = write(STDOUT_FILENO, bytes, (size_t)length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        bytes += written;
        length -= (i32)written;
    }
}

StrSlice os_display_name(void) {
    const char *name = getenv("DISPLAY");
    if (!name || !*name) name = ":0";
    return StrSlice{(i64)strlen(name), (char *)name};
}
