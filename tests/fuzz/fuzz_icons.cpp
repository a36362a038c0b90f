// libFuzzer target: any icons.png decodes into a sheet whose pixels all lie
// inside its allocation, or is refused; none larger than the limit is made.
#include <stdlib.h>
#include <string.h>

#include "ui/canvas.h"
#include "ui/icon_sheet.h"

// The decoder's failed assertion prints, then parks its thread: here that is
// a finding, not a hang.
void os_print(const char *, ...) { abort(); }
void os_sleep_ms(i32) { abort(); }

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
    char *copy = (char *)malloc(size ? size : 1);
    if (size) memcpy(copy, data, size);
    icon_sheet = IconSheet{0, 0, nullptr};
    bool decoded = icon_sheet_decode(StrSlice{(i64)size, copy});
    free(copy);
    if (!decoded) return 0;
    if (icon_sheet.width < 1 || icon_sheet.height < 1 ||
        (i64)icon_sheet.width * icon_sheet.height > ICON_SHEET_PIXELS_MAX)
        abort();
    // Touch the last pixel: the sanitizer catches a short allocation.
    volatile u32 last = icon_sheet.pixels[(i64)icon_sheet.width * icon_sheet.height - 1];
    (void)last;
    os_free(icon_sheet.pixels);
    icon_sheet.pixels = nullptr;
    return 0;
}
