#include "user_message.h"

#include <string.h>

#include "../ui/panel.h"
#include "app.h"
#include "main_loop.h"
#include "messages.h"

void user_message(const char *format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    os_format_v(line, sizeof line, format, args);
    va_end(args);
    os_print("%s\n", line);
    // The panel's text line says it too, without standard output's marker. A
    // note or progress never hides a failure the user has not seen yet.
    bool failure = strncmp(line, "* ERROR * ", 10) == 0 || strncmp(line, "* NOTE * ", 9) == 0;
    if (!failure && app.message_kind == MESSAGE_ERROR) return;
    const char *text = failure ? strchr(line + 2, '*') + 2 : line;
    message_show(failure ? MESSAGE_ERROR : MESSAGE_DONE, false, "%s", text);
    if (!app.minimised && app.control_window) panel_draw(&app, app_mode());
}
