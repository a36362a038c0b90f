// Config.txt: key = value lines for the settings without a control on the panel.
#pragma once

#include "../os/os.h"

// Applies the settings in the content to app, in file order (the last
// occurrence of a key wins). Carriage returns in the content are rewritten
// to line feeds in place. Reads only the `length` bytes given.
void config_load(StrSlice content);
