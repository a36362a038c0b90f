// Measures what os_sleep_ms(1) and a 60 Hz frame sleep really take, the
// numbers that decide whether the frame loop keeps the monitor's rate.
#include "os/os.h"

static void measure(const char *label, i32 milliseconds, i32 rounds) {
    i64 shortest = INT64_MAX, longest = 0, total = 0;
    for (i32 i = 0; i < rounds; i++) {
        i64 start = os_ticks();
        os_sleep_ms(milliseconds);
        i64 took = os_ticks_to_microseconds(os_ticks() - start);
        total += took;
        if (took < shortest) shortest = took;
        if (took > longest) longest = took;
    }
    os_print("%s: asked %i ms, mean %lld us, min %lld us, max %lld us over %i sleeps\n", label,
             milliseconds, (long long)(total / rounds), (long long)shortest, (long long)longest,
             rounds);
}

int main() {
    os_init();
    measure("sleep 1 ms", 1, 200);
    measure("frame sleep 16 ms", 16, 60);
    return 0;
}
