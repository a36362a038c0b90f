// Telling the user: the panel's text line, the log and standard output. A
// message shows until the next press on the panel or for 15 s.
#pragma once

#include "../ui/view.h"

enum { MESSAGE_SHOW_MS = 15000 };

// The one way to tell the user something: the text (os_format grammar, no
// line feed) goes onto the panel's line and into the log ("panel: text").
// Unless details_in_log, it is also printed, after the kind's marker
// ("* ERROR * ", "* NOTE * ", none for done); with it, the caller printed the
// details already and the panel says where they are. Done never hides a
// failure or note still on the panel.
void tell_user(MessageKind kind, bool details_in_log, const char *format, ...);
// Back to the region line at once, redrawing the panel; nothing when no
// message is shown.
void message_dismiss(void);
// Once a frame: a message past its time gives way to the region.
void message_expire(i64 now_ms);
// An idle wait of wait_ms (0: none) cut short so a message leaves on time.
u32 message_wait_ms(u32 wait_ms, i64 now_ms);
