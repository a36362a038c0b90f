// Opening a path with the shell's "open" verb.
#include "os_w32.h"

#include <shellapi.h>

i32 os_shell_open(StrSlice path) {
    OS_W32_WIDE(wide, path.data);
    if (!wide) return 1;
    // Explorer takes "C:/a/b" for files but not always for folders.
    for (wchar_t *c = wide; *c; c++)
        if (*c == L'/') *c = L'\\';
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.lpVerb = L"open";
    info.lpFile = wide;
    info.nShow = SW_SHOWDEFAULT;
    return ShellExecuteExW(&info) ? 0 : 1;
}
