// Heap, recursive mutexes and threads over pthreads.
#include "../os_internal.h"

#include <atomic>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

void *os_alloc(u32 size) { return malloc(size); }

void *os_alloc_zeroed(u32 size) { return calloc(1, size); }

void *os_realloc(void *pointer, u32 size) { return pointer ? realloc(pointer, size) : nullptr; }

bool os_free(void *pointer) {
    free(pointer);
    return true;
}

u64 os_alloc_size(void *pointer) { return malloc_usable_size(pointer); }

static_assert(sizeof(pthread_mutex_t) <= sizeof(OsMutex::storage), "OsMutex too small");

static pthread_mutex_t *os_lnx_mutex(OsMutex *mutex) { return (pthread_mutex_t *)mutex->storage; }

OsMutex os_mutex_init(void) {
    OsMutex mutex = {};
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(os_lnx_mutex(&mutex), &attributes);
    pthread_mutexattr_destroy(&attributes);
    return mutex;
}

void os_mutex_destroy(OsMutex *mutex) {
    pthread_mutex_destroy(os_lnx_mutex(mutex));
    memset(mutex, 0, sizeof *mutex);
}

void os_mutex_lock(OsMutex *mutex) { pthread_mutex_lock(os_lnx_mutex(mutex)); }

void os_mutex_unlock(OsMutex *mutex) { pthread_mutex_unlock(os_lnx_mutex(mutex)); }

// Threads. pthreads cannot suspend another thread, so suspension is a signal
// whose handler waits until the resume signal arrives. Real-time signals are
// delivered lowest number first, so a resume sent right after a suspend is
// never taken before it.
#define OS_LNX_SUSPEND_SIGNAL (SIGRTMIN + 2)
#define OS_LNX_RESUME_SIGNAL (SIGRTMIN + 3)

static thread_local volatile sig_atomic_t os_lnx_resumed;

static void os_lnx_on_resume(int) { os_lnx_resumed = 1; }

static void os_lnx_on_suspend(int) {
    sigset_t wait_mask;
    sigfillset(&wait_mask);
    sigdelset(&wait_mask, OS_LNX_RESUME_SIGNAL);
    while (!os_lnx_resumed) sigsuspend(&wait_mask);
    os_lnx_resumed = 0;
}

static void os_lnx_install_suspend_handlers(void) {
    static bool installed;
    if (installed) return;
    installed = true;
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    action.sa_handler = os_lnx_on_suspend;
    sigaction(OS_LNX_SUSPEND_SIGNAL, &action, nullptr);
    action.sa_handler = os_lnx_on_resume;
    sigaction(OS_LNX_RESUME_SIGNAL, &action, nullptr);
}

struct OsLnxThreadStart {
    OsThread thread;
    OsThreadFunction *function;
    pthread_t pthread;
};

static i32 os_lnx_thread_counter;

static void *os_lnx_thread_entry(void *argument) {
    OsLnxThreadStart *start = (OsLnxThreadStart *)argument;
    // Killing must end the thread wherever it is, as TerminateThread does.
    pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);
    std::atomic_ref<u8> flags(start->thread.flags);
    flags.fetch_or(OS_THREAD_ALIVE);
    start->function(&start->thread);
    flags.fetch_and((u8)~OS_THREAD_ALIVE);
    return nullptr;
}

i32 os_thread_id(void) { return (i32)syscall(SYS_gettid); }

OsThread *os_thread_create(OsThreadFunction *function, u64 user_value) {
    os_lnx_install_suspend_handlers();
    i32 id = ++os_lnx_thread_counter;
    OsLnxThreadStart *start = (OsLnxThreadStart *)os_alloc_zeroed(sizeof(OsLnxThreadStart));
    if (!start) return nullptr;
    start->thread.id = id;
    start->thread.user_value = user_value;
    start->function = function;
    if (pthread_create(&start->pthread, nullptr, os_lnx_thread_entry, start) != 0) {
        os_free(start);
        return nullptr;
    }
    start->thread.handle = &start->pthread;
    return &start->thread;
}

static pthread_t os_lnx_pthread(OsThread *thread) { return *(pthread_t *)thread->handle; }

void os_thread_suspend(OsThread *thread) {
    if (!thread) return;
    std::atomic_ref<u8> flags(thread->flags);
    if ((flags.load() & (OS_THREAD_ALIVE | OS_THREAD_SUSPENDED)) != OS_THREAD_ALIVE) return;
    flags.fetch_or(OS_THREAD_SUSPENDED);
    pthread_kill(os_lnx_pthread(thread), OS_LNX_SUSPEND_SIGNAL);
}

void os_thread_resume(OsThread *thread) {
    if (!thread) return;
    std::atomic_ref<u8> flags(thread->flags);
    if ((flags.load() & (OS_THREAD_ALIVE | OS_THREAD_SUSPENDED)) != (OS_THREAD_ALIVE | OS_THREAD_SUSPENDED)) return;
    flags.fetch_and((u8)~OS_THREAD_SUSPENDED);
    pthread_kill(os_lnx_pthread(thread), OS_LNX_RESUME_SIGNAL);
}

void os_thread_kill(OsThread *thread) {
    if (!thread || !(std::atomic_ref<u8>(thread->flags).load() & OS_THREAD_ALIVE)) return;
    pthread_t pthread = os_lnx_pthread(thread);
    pthread_cancel(pthread);
    // Nobody will join it; let the system reclaim its stack once it is gone.
    pthread_detach(pthread);
    memset(thread, 0, sizeof *thread);
}
