// Config.txt: key = value lines for the settings without a control on the panel.
#pragma once

#include "../os/os.h"

enum ConfigKind : u8 {
    CONFIG_FILE_NAME = 0, // text; bytes a file name cannot hold are removed
    CONFIG_TEXT = 1,      // text; control bytes, quotes and carets are removed
    CONFIG_NUMBER = 2,    // 16 bits, wrapping; then brought into its range
    CONFIG_CHOICE = 3,    // one of the words in `choices`, any case
};

struct ConfigKey {
    const char *name;
    ConfigKind kind;
    void *value; // the app's field: a TextBuilder, an i16, or a u8 choice index
    // A number's range. A range that starts above 0 reads the 16 bits
    // unsigned, so that -1 is 65535 and stops at the top, not the bottom.
    i32 lowest, highest;
    i32 default_value;   // a number's, or the choice's index; texts are empty
    const char *choices; // "none|mp4|gif"
};

// Every key, in the order the sample Config.txt and the README list them.
extern const ConfigKey config_keys[];
extern const i32 config_key_count;

// Sets every key to its default, then applies the settings in the content,
// in file order (the last occurrence of a key wins). Carriage returns in the
// content are rewritten to line feeds in place. Reads only the `length`
// bytes given.
void config_load(StrSlice content);
