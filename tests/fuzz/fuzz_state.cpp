// libFuzzer target: any _vornby.state content loads without reading past it
// into values in range; the bytes the load does not mend come back out as
// read (flags as 0 or 1), and a saved record loads back unchanged.
#include <stdlib.h>
#include <string.h>

#include <initializer_list>

#include "recorder/app.h"
#include "recorder/pointer.h"
#include "recorder/region.h"
#include "recorder/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
    app = AppState{};
    char *content = (char *)malloc(size ? size : 1);
    if (size) memcpy(content, data, size);
    state_load(StrSlice{(i64)size, content});
    free(content);
    u8 record[STATE_FILE_SIZE];
    state_encode(record);
    if (size >= STATE_FILE_SIZE) {
        for (int i : {0, 17, 22, 23, 24}) {
            u8 want = (i >= 22 && i <= 24) ? (data[i] != 0) : data[i];
            if (record[i] != want) abort();
        }
    }
    bool fps_offered = false;
    for (u16 choice : fps_choices) fps_offered |= choice == app.fps;
    if (!fps_offered || app.delay_ms < 0 || app.delay_ms > DELAY_MAX_MS || app.memory_counter < 0) abort();
    AppState loaded = app;
    app = AppState{};
    state_load(StrSlice{STATE_FILE_SIZE, (char *)record});
    u8 again[STATE_FILE_SIZE];
    state_encode(again);
    if (memcmp(again, record, STATE_FILE_SIZE) != 0) abort();
    app = loaded;
    // Whatever the corners, the derived sizes and zones stay defined.
    update_zone_sizes();
    app.last_cursor_x = app.region_x0;
    app.last_cursor_y = app.region_y1;
    hit_test_zones();
    if (app.region_w < 1 || app.region_h < 1) abort();
    return 0;
}
