// Recursive mutexes and threads over pthreads.
#include "../../os_internal.h"

#include <atomic>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

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

// Held (briefly, spinning) while a thread ends and while another thread
// signals, cancels or detaches it, so none of those acts on a thread that
// has just detached itself and may be gone. A spin lock, because a thread
// cancelled while it waits must leave no lock state behind.
static std::atomic_flag os_lnx_thread_lock = ATOMIC_FLAG_INIT;

static void os_lnx_thread_lock_take(void) {
    while (os_lnx_thread_lock.test_and_set(std::memory_order_acquire)) sched_yield();
}

static void os_lnx_thread_lock_give(void) { os_lnx_thread_lock.clear(std::memory_order_release); }

static void *os_lnx_thread_entry(void *argument) {
    OsLnxThreadStart *start = (OsLnxThreadStart *)argument;
    // Killing must end the thread wherever it is, as TerminateThread does.
    pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);
    std::atomic_ref<u8> flags(start->thread.flags);
    flags.fetch_or(OS_THREAD_ALIVE);
    start->function(&start->thread);
    // From here on neither a kill nor a suspension may stop the thread while
    // it holds the lock.
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
    sigset_t suspend;
    sigemptyset(&suspend);
    sigaddset(&suspend, OS_LNX_SUSPEND_SIGNAL);
    pthread_sigmask(SIG_BLOCK, &suspend, nullptr);
    os_lnx_thread_lock_take();
    // A thread that ends by itself detaches, so the system frees its stack;
    // after clearing the flag the record is the caller's and untouched here.
    // A killed thread's record was zeroed (and the thread detached) by kill.
    if (flags.load() & OS_THREAD_ALIVE) {
        pthread_detach(pthread_self());
        flags.fetch_and((u8)~OS_THREAD_ALIVE);
    }
    os_lnx_thread_lock_give();
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
    start->thread.handle = &start->pthread;
    if (pthread_create(&start->pthread, nullptr, os_lnx_thread_entry, start) != 0) {
        os_free(start);
        return nullptr;
    }
    return &start->thread;
}

static pthread_t os_lnx_pthread(OsThread *thread) { return *(pthread_t *)thread->handle; }

void os_thread_suspend(OsThread *thread) {
    if (!thread) return;
    os_lnx_thread_lock_take();
    std::atomic_ref<u8> flags(thread->flags);
    if ((flags.load() & (OS_THREAD_ALIVE | OS_THREAD_SUSPENDED)) == OS_THREAD_ALIVE) {
        flags.fetch_or(OS_THREAD_SUSPENDED);
        pthread_kill(os_lnx_pthread(thread), OS_LNX_SUSPEND_SIGNAL);
    }
    os_lnx_thread_lock_give();
}

void os_thread_resume(OsThread *thread) {
    if (!thread) return;
    os_lnx_thread_lock_take();
    std::atomic_ref<u8> flags(thread->flags);
    if ((flags.load() & (OS_THREAD_ALIVE | OS_THREAD_SUSPENDED)) == (OS_THREAD_ALIVE | OS_THREAD_SUSPENDED)) {
        flags.fetch_and((u8)~OS_THREAD_SUSPENDED);
        pthread_kill(os_lnx_pthread(thread), OS_LNX_RESUME_SIGNAL);
    }
    os_lnx_thread_lock_give();
}

void os_thread_kill(OsThread *thread) {
    if (!thread) return;
    os_lnx_thread_lock_take();
    if (std::atomic_ref<u8>(thread->flags).load() & OS_THREAD_ALIVE) {
        pthread_t pthread = os_lnx_pthread(thread);
        pthread_cancel(pthread);
        // Nobody will join it; let the system reclaim its stack once it is gone.
        pthread_detach(pthread);
        memset(thread, 0, sizeof *thread);
    }
    os_lnx_thread_lock_give();
}
