#include "messages.h"

#include "../ui/panel.h"
#include "app.h"
#include "main_loop.h"

void message_show(MessageKind kind, bool see_log, const char *format, ...) {
    va_list args;
    va_start(args, format);
    os_format_v(app.message, MESSAGE_CAPACITY, format, args);
    va_end(args);
    app.message_kind = kind;
    app.message_see_log = see_log;
    app.message_until_ms = os_time_milliseconds() + MESSAGE_SHOW_MS;
    // With no font the panel shows nothing: the log still says it.
    os_log("panel: %s\n", app.message);
}

void message_dismiss(void) {
    if (app.message_kind == MESSAGE_NONE) return;
    app.message_kind = MESSAGE_NONE;
    app.message[0] = 0;
    if (!app.minimised) panel_draw(&app, app_mode());
}

u32 message_wait_ms(u32 wait_ms, i64 now_ms) {
    if (!wait_ms || app.message_kind == MESSAGE_NONE) return wait_ms;
    i64 left = app.message_until_ms - now_ms;
    if (left < 1) return 1;
    return left < (i64)wait_ms ? (u32)left : wait_ms;
}

void message_expire(i64 now_ms) {
    if (app.message_kind != MESSAGE_NONE && now_ms >= app.message_until_ms) message_dismiss();
}
