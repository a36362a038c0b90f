#include "startup.h"

#include <math.h>
#include <string.h>

#include "../text/text.h"
#include "../ui/desktop.h"
#include "../ui/icon_sheet.h"
#include "app.h"
#include "app_files.h"
#include "encoder.h"
#include "finishing.h"
#include "hotkey.h"
#include "layout.h"
#include "region.h"
#include "state.h"

static void load_icons(void) {
    StrSlice file = app_read_asset("icons.png");
    bool decoded = file.length > 0 && icon_sheet_decode(file);
    os_free_file(&file);
    if (decoded) return;
    // The program's own word for it, kept as it is.
    os_print("faile\n");
    icon_sheet_decode(StrSlice{(i64)icons_builtin_png_size, (char *)icons_builtin_png});
}

static void load_font(void) {
    StrSlice file = app_read_asset("font.otf");
    if (file.length > 0) font_load(file);
    os_free_file(&file);
    text_style.pixel_height = 16.0f;
    text_style.line_height = 1.0f;
    text_style.line_gap = 0.0f;
    text_style.letter_spacing = 0.0f;
    text_style.colour = 0xFFFFFFFF;
}

// Rounding half away from zero in double precision.
static i32 round_away(f64 value) { return (i32)(value < 0 ? -floor(-value + 0.5) : floor(value + 0.5)); }

void app_default_region(i32 width, i32 height) {
    i32 smaller = width < height ? width : height;
    i32 large = (i32)(0.011 * smaller), small = (i32)(0.006 * smaller);
    app.frame_metric_large = large > 4 ? large : 4;
    app.frame_metric_small = small > 2 ? small : 2;
    app.region_x0 = 10 * round_away(width * 0.4 * 0.1);
    app.region_y0 = 10 * round_away(height * 0.4 * 0.1);
    app.region_x1 = 10 * round_away(width * 0.6 * 0.1) - 1;
    app.region_y1 = 10 * round_away(height * 0.6 * 0.1) - 1;
}

void app_read_monitors(void) {
    i32 count = 0;
    OsMonitor *table = nullptr;
    os_get_monitors(&count, &table);
    app.monitor_count = 0;
    for (i32 i = 0; table && i < count && app.monitor_count < UI_MONITOR_CAPACITY; i++) {
        const OsMonitor &m = table[i];
        if (m.width > 0 && m.height > 0) app.monitors[app.monitor_count++] = OsRect{m.x, m.y, m.width, m.height};
    }
}

// The default region sits on the main monitor, which need not start at the
// desktop's origin (a monitor left of it on X11, above it anywhere).
static void default_region_on_main_monitor(void) {
    app_default_region(app.screen_width, app.screen_height);
    OsRect main = desktop_monitor(&app, 0);
    app.region_x0 += main.x;
    app.region_x1 += main.x;
    app.region_y0 += main.y;
    app.region_y1 += main.y;
}

void app_startup_view(void) {
    load_icons();
    load_font();
    OsMonitor *monitor = os_get_main_monitor();
    app.screen_width = monitor->width;
    app.screen_height = monitor->height;
    app_read_monitors();
    default_region_on_main_monitor();
}

void app_startup_frame(void) {
    app_startup_view();
    config_load_file();
    state_load_file();
    // A region saved on a monitor that is gone, or corrupt, would be
    // recorded off screen; the saved settings around it still apply.
    if (!region_on_desktop()) default_region_on_main_monitor();
    // The full layout. It also places the grab window, which would otherwise
    // stay at its creation size, an empty box over whatever is below, until
    // the first hover change.
    relayout(ELEMENT_NONE);
    encoder_locate();
    // Recordings a run left unfinished (a power cut, a killed session).
    finishing_recover_leftovers();
    hotkey_register();
    state_switch(APP_STATE_IDLE);
}
