// The files beside the executable. Kept apart from the pure parsers so those
// link (and are fuzzed) without the file backend.
#include <string.h>

#include "app.h"
#include "config.h"
#include "state.h"

bool app_file_path(char (&buffer)[513], const char *name) {
    StrSlice folder = os_exe_folder();
    i64 name_length = (i64)strlen(name);
    buffer[0] = 0;
    if (!folder.data || folder.length < 0 || folder.length + name_length > 512) return false;
    memcpy(buffer, folder.data, (size_t)folder.length);
    memcpy(buffer + folder.length, name, (size_t)name_length);
    buffer[folder.length + name_length] = 0;
    return true;
}

static StrSlice path_slice(char (&buffer)[513]) { return StrSlice{(i64)strlen(buffer), buffer}; }

void config_load_file(void) {
    char path[513];
    if (!app_file_path(path, "Config.txt")) return;
    StrSlice content = os_read_entire_file(path_slice(path));
    config_load(content);
    os_free_file(&content);
}

void state_load_file(void) {
    char path[513];
    if (!app_file_path(path, "_vornby.state")) return;
    StrSlice content = os_read_entire_file(path_slice(path));
    state_load(content);
    os_free_file(&content);
}

void state_save(void) {
    char path[513];
    if (!app_file_path(path, "_vornby.state")) return;
    u8 record[STATE_FILE_SIZE];
    state_encode(record);
    os_write_file(path_slice(path), STATE_FILE_SIZE, record);
}
