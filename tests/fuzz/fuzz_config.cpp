// libFuzzer target: any Config.txt content parses without reading past it,
// and what it stores obeys the filters and the 0 -> 1 rule.
#include <stdlib.h>
#include <string.h>

#include "recorder/app.h"
#include "recorder/config.h"

static void check_filtered(const TextBuilder &b, const char *removed) {
    if (!b.data) return;
    if (b.data[b.length] != 0) abort();
    for (i64 i = 0; i < b.length; i++) {
        u8 c = (u8)b.data[i];
        if (c < 0x20 || c > 0x7E || strchr(removed, c)) abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
    app.frame_dash_length = 2;
    app.frame_dash_thickness = 1;
    // An exact-size heap copy: a read past the content is an overflow.
    char *content = (char *)malloc(size ? size : 1);
    if (size) memcpy(content, data, size);
    config_load(StrSlice{(i64)size, content});
    for (size_t i = 0; i < size; i++)
        if (content[i] == 13) abort();
    free(content);
    if (app.frame_dash_length == 0 || app.frame_dash_thickness == 0) abort();
    check_filtered(app.output_name_template, "\"*/:?\\|");
    check_filtered(app.audio_device, "\"^");
    const TextBuilder &name = app.output_name_template;
    if (name.data && name.length == 1 && name.data[0] == ' ') abort();
    return 0;
}
