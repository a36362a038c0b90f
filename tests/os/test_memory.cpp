// Heap blocks, recursive locks and threads.
#include <gtest/gtest.h>
#include <atomic>
#include <string.h>

#include "open_handles.h"
#include "os/os.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <stdio.h>
#endif

// Waits for a condition instead of a fixed time; false after ten seconds.
template <typename Condition> static bool eventually(Condition condition) {
    for (int i = 0; i < 2000; i++) {
        if (condition()) return true;
        os_sleep_ms(5);
    }
    return condition();
}

TEST(Memory, BlocksKeepTheirContentAcrossGrowth) {
    u8 *zeroed = (u8 *)os_alloc_zeroed(4096);
    ASSERT_NE(zeroed, nullptr);
    for (int i = 0; i < 4096; i++) ASSERT_EQ(zeroed[i], 0) << i;
    EXPECT_GE(os_alloc_size(zeroed), 4096u);
    EXPECT_TRUE(os_free(zeroed));

    char *block = (char *)os_alloc(100);
    ASSERT_NE(block, nullptr);
    EXPECT_GE(os_alloc_size(block), 100u);
    for (int i = 0; i < 100; i++) block[i] = (char)i;
    char *grown = (char *)os_realloc(block, 1 << 20);
    ASSERT_NE(grown, nullptr);
    EXPECT_GE(os_alloc_size(grown), 1u << 20);
    for (int i = 0; i < 100; i++) ASSERT_EQ(grown[i], (char)i);
    char *shrunk = (char *)os_realloc(grown, 10);
    ASSERT_NE(shrunk, nullptr);
    for (int i = 0; i < 10; i++) ASSERT_EQ(shrunk[i], (char)i);
    EXPECT_TRUE(os_free(shrunk));
}

struct LockShare {
    OsMutex mutex;
    std::atomic<int> stage{0};
    std::atomic<bool> entered{false};
};

static void lock_then_mark(OsThread *thread) {
    LockShare *share = (LockShare *)thread->user_value;
    share->stage = 1;
    os_mutex_lock(&share->mutex);
    share->entered = true;
    os_mutex_unlock(&share->mutex);
}

TEST(Mutex, RecursiveEntryNeedsAsManyUnlocks) {
    LockShare share;
    share.mutex = os_mutex_init();
    os_mutex_lock(&share.mutex);
    os_mutex_lock(&share.mutex); // the owner may enter again
    OsThread *other = os_thread_create(lock_then_mark, (u64)(uintptr_t)&share);
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(eventually([&] { return share.stage == 1; }));
    os_mutex_unlock(&share.mutex);
    // Still held once: the other thread must not get in.
    os_sleep_ms(50);
    EXPECT_FALSE(share.entered);
    os_mutex_unlock(&share.mutex);
    EXPECT_TRUE(eventually([&] { return share.entered.load(); }));
    EXPECT_TRUE(eventually([&] { return !(other->flags & OS_THREAD_ALIVE); }));

    os_mutex_destroy(&share.mutex);
    OsMutex zeros;
    memset(&zeros, 0, sizeof zeros);
    EXPECT_EQ(memcmp(&share.mutex, &zeros, sizeof zeros), 0);
}

struct Spinner {
    std::atomic<i64> count{0};
    std::atomic<bool> stop{false};
    std::atomic<u64> seen_value{0};
    std::atomic<i32> seen_id{0};
};

static void spin(OsThread *thread) {
    Spinner *spinner = (Spinner *)thread->user_value;
    spinner->seen_value = thread->user_value;
    spinner->seen_id = os_thread_id();
    while (!spinner->stop) {
        spinner->count++;
        os_sleep_ms(1);
    }
}

// True once the count has not moved for a while: the thread is held.
static bool holds_still(Spinner &spinner) {
    i64 before = spinner.count;
    os_sleep_ms(60);
    return spinner.count == before;
}

TEST(Thread, RunsIsSeenAliveAndEndsDead) {
    Spinner spinner;
    OsThread *first = os_thread_create(spin, (u64)(uintptr_t)&spinner);
    ASSERT_NE(first, nullptr);
    OsThread *second = os_thread_create(spin, (u64)(uintptr_t)&spinner);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->id, first->id + 1);
    EXPECT_EQ(first->user_value, (u64)(uintptr_t)&spinner);
    EXPECT_NE(first->handle, nullptr);

    EXPECT_TRUE(eventually([&] { return (first->flags & OS_THREAD_ALIVE) && (second->flags & OS_THREAD_ALIVE); }));
    EXPECT_TRUE(eventually([&] { return spinner.count > 10; }));
    EXPECT_EQ(spinner.seen_value, (u64)(uintptr_t)&spinner);
    EXPECT_NE(spinner.seen_id, os_thread_id());

    spinner.stop = true;
    EXPECT_TRUE(eventually([&] { return !(first->flags & OS_THREAD_ALIVE) && !(second->flags & OS_THREAD_ALIVE); }));
    // A thread that has ended is not alive, so kill leaves its record alone.
    i32 id = first->id;
    os_thread_kill(first);
    EXPECT_EQ(first->id, id);
    os_free(first);
    os_free(second);
}

TEST(Thread, SuspendResumeAndKill) {
    OsThread not_started = {};
    os_thread_suspend(&not_started); // alive clear: nothing happens
    EXPECT_EQ(not_started.flags, 0);
    os_thread_resume(&not_started);
    os_thread_kill(&not_started);
    os_thread_suspend(nullptr);
    os_thread_resume(nullptr);
    os_thread_kill(nullptr);

    Spinner spinner;
    OsThread *thread = os_thread_create(spin, (u64)(uintptr_t)&spinner);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(eventually([&] { return spinner.count > 5; }));
    ASSERT_TRUE(thread->flags & OS_THREAD_ALIVE);

    os_thread_resume(thread); // not suspended: nothing happens
    EXPECT_FALSE(thread->flags & OS_THREAD_SUSPENDED);
    os_thread_suspend(thread);
    EXPECT_TRUE(thread->flags & OS_THREAD_SUSPENDED);
    EXPECT_TRUE(eventually([&] { return holds_still(spinner); }));
    os_thread_resume(thread);
    EXPECT_FALSE(thread->flags & OS_THREAD_SUSPENDED);
    i64 resumed_at = spinner.count;
    EXPECT_TRUE(eventually([&] { return spinner.count > resumed_at + 5; }));

    os_thread_kill(thread);
    OsThread zeros;
    memset(&zeros, 0, sizeof zeros);
    EXPECT_EQ(memcmp(thread, &zeros, sizeof zeros), 0);
    EXPECT_TRUE(eventually([&] { return holds_still(spinner); }));
    os_free(thread);
}

// What an ended thread could still hold: Windows its handle, Linux its stack
// mapping (kept until the thread is joined or detached).
static i64 thread_leftovers(void) {
#ifdef _WIN32
    return open_handle_count();
#else
    i64 count = 0;
    FILE *maps = fopen("/proc/self/maps", "r");
    for (int c; maps && (c = fgetc(maps)) != EOF;) count += c == '\n';
    if (maps) fclose(maps);
    return count;
#endif
}

static void return_at_once(OsThread *thread) { ((std::atomic<int> *)thread->user_value)->fetch_add(1); }

TEST(Thread, ThreadsThatEndLeaveNothingBehind) {
    const int threads = 32;
    auto run_all = [&] {
        for (int i = 0; i < threads; i++) {
            std::atomic<int> ran{0};
            OsThread *thread = os_thread_create(return_at_once, (u64)(uintptr_t)&ran);
            ASSERT_NE(thread, nullptr);
            ASSERT_TRUE(eventually([&] { return ran.load() == 1 && !(thread->flags & OS_THREAD_ALIVE); }));
            os_free(thread);
        }
    };
    run_all(); // the runtime's caches of stacks and handles fill up first
    i64 before = thread_leftovers();
    run_all();
    // Each leaked thread would add its stack and guard page, or its handle.
    EXPECT_LE(thread_leftovers(), before + threads / 4);
}
