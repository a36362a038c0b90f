// What the hotkey and the share copy tell the user: on standard output (and
// so in the log) and on the panel's text line.
#pragma once

#include "../os/os.h"

// One line for the user (os_format grammar, no line feed in format).
void user_message(const char *format, ...);
