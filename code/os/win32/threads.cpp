// Critical sections and threads.
#include "../os_internal.h"

#include <atomic>
#include <string.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(OsMutex::storage), "OsMutex too small");

static CRITICAL_SECTION *os_w32_section(OsMutex *mutex) { return (CRITICAL_SECTION *)mutex->storage; }

OsMutex os_mutex_init(void) {
    OsMutex mutex = {};
    // Without debug info the section holds no pointer back to itself, so the
    // record may be returned by value as long as nobody holds it yet.
    InitializeCriticalSectionEx(os_w32_section(&mutex), 0, CRITICAL_SECTION_NO_DEBUG_INFO);
    return mutex;
}

void os_mutex_destroy(OsMutex *mutex) {
    DeleteCriticalSection(os_w32_section(mutex));
    memset(mutex, 0, sizeof *mutex);
}

void os_mutex_lock(OsMutex *mutex) { EnterCriticalSection(os_w32_section(mutex)); }

void os_mutex_unlock(OsMutex *mutex) { LeaveCriticalSection(os_w32_section(mutex)); }

// The record handed out is the first member, so os_free of it frees the whole.
struct OsW32ThreadStart {
    OsThread thread;
    OsThreadFunction *function;
};

static i32 os_w32_thread_counter;

// Held (briefly, spinning) while a thread ends and while another thread
// suspends, resumes or terminates it, so none of those acts on a handle the
// ending thread has just closed. A spin lock, because a thread terminated
// while it waits must leave no lock state behind.
static std::atomic_flag os_w32_thread_lock = ATOMIC_FLAG_INIT;

static void os_w32_thread_lock_take(void) {
    while (os_w32_thread_lock.test_and_set(std::memory_order_acquire)) SwitchToThread();
}

static void os_w32_thread_lock_give(void) { os_w32_thread_lock.clear(std::memory_order_release); }

static DWORD WINAPI os_w32_thread_entry(void *argument) {
    OsW32ThreadStart *start = (OsW32ThreadStart *)argument;
    std::atomic_ref<u8> flags(start->thread.flags);
    flags.fetch_or(OS_THREAD_ALIVE);
    start->function(&start->thread);
    // The handle is closed here, so a thread that ends by itself leaves
    // nothing open; after clearing the flag the record is the caller's and
    // untouched here. A killed thread's handle was closed by kill.
    os_w32_thread_lock_take();
    if (flags.load() & OS_THREAD_ALIVE) {
        CloseHandle(start->thread.handle);
        start->thread.handle = nullptr;
        flags.fetch_and((u8)~OS_THREAD_ALIVE);
    }
    os_w32_thread_lock_give();
    return 0;
}

i32 os_thread_id(void) { return (i32)GetCurrentThreadId(); }

OsThread *os_thread_create(OsThreadFunction *function, u64 user_value) {
    i32 id = ++os_w32_thread_counter;
    OsW32ThreadStart *start = (OsW32ThreadStart *)os_alloc_zeroed(sizeof(OsW32ThreadStart));
    if (!start) return nullptr;
    start->thread.id = id;
    start->thread.user_value = user_value;
    start->function = function;
    // Started suspended so the handle is in the record before the thread can
    // end and close it.
    HANDLE handle = CreateThread(nullptr, 0, os_w32_thread_entry, start, CREATE_SUSPENDED, nullptr);
    if (!handle) {
        os_free(start);
        return nullptr;
    }
    start->thread.handle = handle;
    ResumeThread(handle);
    return &start->thread;
}

void os_thread_suspend(OsThread *thread) {
    if (!thread) return;
    os_w32_thread_lock_take();
    std::atomic_ref<u8> flags(thread->flags);
    if ((flags.load() & (OS_THREAD_ALIVE | OS_THREAD_SUSPENDED)) == OS_THREAD_ALIVE) {
        flags.fetch_or(OS_THREAD_SUSPENDED);
        SuspendThread(thread->handle);
    }
    os_w32_thread_lock_give();
}

void os_thread_resume(OsThread *thread) {
    if (!thread) return;
    os_w32_thread_lock_take();
    std::atomic_ref<u8> flags(thread->flags);
    if ((flags.load() & (OS_THREAD_ALIVE | OS_THREAD_SUSPENDED)) == (OS_THREAD_ALIVE | OS_THREAD_SUSPENDED)) {
        flags.fetch_and((u8)~OS_THREAD_SUSPENDED);
        ResumeThread(thread->handle);
    }
    os_w32_thread_lock_give();
}

void os_thread_kill(OsThread *thread) {
    if (!thread) return;
    os_w32_thread_lock_take();
    if (std::atomic_ref<u8>(thread->flags).load() & OS_THREAD_ALIVE) {
        HANDLE handle = thread->handle;
        TerminateThread(handle, 1);
        CloseHandle(handle);
        memset(thread, 0, sizeof *thread);
    }
    os_w32_thread_lock_give();
}
