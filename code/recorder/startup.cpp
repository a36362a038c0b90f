#include "startup.h"

#include <math.h>
#include <string.h>

#include "../text/text.h"
#include "../ui/icon_sheet.h"
#include "app.h"
#include "app_files.h"
#include "encoder_command.h"
#include "hotkey.h"
#include "idle.h"
#include "main_loop.h"

static void load_icons(void) {
    StrSlice file = app_read_file("icons.png");
    bool decoded = file.length > 0 && icon_sheet_decode(file);
    os_free_file(&file);
    if (decoded) return;
    os_print("faile\n");
    icon_sheet_decode(StrSlice{(i64)icons_builtin_png_size, (char *)icons_builtin_png});
}

static void load_font(void) {
    StrSlice file = app_read_file("font.otf");
    // The face reads the font data in place, so the buffer stays for the run.
    if (file.length > 0 && !font_load(file)) os_free_file(&file);
    text_style.pixel_height = 16.0f;
    text_style.line_height = 1.0f;
    text_style.line_gap = 0.0f;
    text_style.letter_spacing = 0.0f;
    text_style.colour = 0xFFFFFFFF;
}

static void locate_encoder(void) {
    char path[513];
    const char *name = encoder_file_name();
    if (app_file_path(path, name) && os_file_exists(StrSlice{(i64)strlen(path), path})) {
        StrSlice folder = os_exe_folder();
        app.encoder_command = builder_create(512);
        builder_append(&app.encoder_command, 1, "\"");
        builder_append(&app.encoder_command, folder.length, folder.data);
        builder_append_text(&app.encoder_command, name);
        builder_append(&app.encoder_command, 1, "\"");
    } else {
        app.encoder_command = builder_create(32);
        builder_append_text(&app.encoder_command, "ffmpeg");
    }
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

void app_startup_frame(void) {
    load_icons();
    load_font();
    locate_encoder();
    config_load_file();
    OsMonitor *monitor = os_get_main_monitor();
    app.screen_width = monitor->width;
    app.screen_height = monitor->height;
    app_default_region(app.screen_width, app.screen_height);
    state_load_file();
    // The full layout. It also places the grab window, which would otherwise
    // stay at its creation size, an empty box over whatever is below, until
    // the first hover change.
    relayout(ELEMENT_NONE);
    hotkey_register();
    FrameFunction = idle_frame;
}
