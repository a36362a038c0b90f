// libFuzzer target: any _vornby.state content loads without reading past it,
// and a complete record comes back out byte for byte (flags as 0 or 1).
#include <stdlib.h>
#include <string.h>

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
        for (int i = 0; i < STATE_FILE_SIZE; i++) {
            u8 want = (i >= 22 && i <= 24) ? (data[i] != 0) : data[i];
            if (record[i] != want) abort();
        }
    }
    // Whatever the corners, the derived sizes and zones stay defined.
    update_zone_sizes();
    app.last_cursor_x = app.region_x0;
    app.last_cursor_y = app.region_y1;
    hit_test_zones();
    if (app.region_w < 1 || app.region_h < 1) abort();
    return 0;
}
