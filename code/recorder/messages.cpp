#include "messages.h"

#include <string.h>

#include "../ui/panel.h"
#include "app.h"
#include "state.h"

static const char *marker(MessageKind kind) {
    return kind == MESSAGE_ERROR ? "* ERROR * " : kind == MESSAGE_NOTE ? "* NOTE * " : "";
}

// Standard output's lines may be longer than the panel's.
enum { PRINTED_CAPACITY = 512 };

void tell_user(MessageKind kind, bool details_in_log, const char *format, ...) {
    char text[PRINTED_CAPACITY];
    va_list args;
    va_start(args, format);
    i32 length = os_format_v(text, PRINTED_CAPACITY, format, args);
    va_end(args);
    if (length > PRINTED_CAPACITY - 1) length = PRINTED_CAPACITY - 1;
    if (!details_in_log) os_print("%s%s\n", marker(kind), text);
    if (kind == MESSAGE_DONE && (app.message_kind == MESSAGE_ERROR || app.message_kind == MESSAGE_NOTE)) return;
    // Cut at a whole UTF-8 character.
    i32 kept = length < MESSAGE_CAPACITY - 1 ? length : MESSAGE_CAPACITY - 1;
    while (kept > 0 && kept < length && ((u8)text[kept] & 0xC0) == 0x80) kept--;
    memcpy(app.message, text, (size_t)kept);
    app.message[kept] = 0;
    app.message_kind = kind;
    app.message_see_log = details_in_log;
    app.message_until_ms = os_time_milliseconds() + MESSAGE_SHOW_MS;
    // With no font the panel shows nothing: the log still says it.
    os_log("panel: %s\n", app.message);
    if (!app.minimised && app.control_window) panel_draw(&app, app_mode());
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
