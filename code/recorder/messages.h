// What the panel's text line tells the user: a failure or a saved recording,
// shown until the next press on the panel or for 15 s, and logged.
#pragma once

#include "../ui/view.h"

enum { MESSAGE_SHOW_MS = 15000 };

// Puts a message on the text line (drawn at the next panel redraw, which the
// caller's state change makes) and writes it to the log. see_log: the
// details went to the log, and the panel says so.
void message_show(MessageKind kind, bool see_log, const char *format, ...);
// Back to the region line at once, redrawing the panel; nothing when no
// message is shown.
void message_dismiss(void);
// Once a frame: a message past its time gives way to the region.
void message_expire(i64 now_ms);
// An idle wait of wait_ms (0: none) cut short so a message leaves on time.
u32 message_wait_ms(u32 wait_ms, i64 now_ms);
