#include "user_message.h"

void user_message(const char *format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    os_format_v(line, sizeof line, format, args);
    va_end(args);
    os_print("%s\n", line);
}
