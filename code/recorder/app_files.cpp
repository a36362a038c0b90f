// The files beside the executable. Kept apart from the pure parsers so those
// link (and are fuzzed) without the file backend.
#include "app_files.h"

#include <string.h>

#include "config.h"
#include "settings.h"

StrSlice app_settings_folder(void) { return os_exe_folder(); }

static bool folder_file_path(char (&buffer)[513], StrSlice folder, const char *name) {
    i64 name_length = (i64)strlen(name);
    buffer[0] = 0;
    if (!folder.data || folder.length < 0 || folder.length + name_length > 512) return false;
    memcpy(buffer, folder.data, (size_t)folder.length);
    memcpy(buffer + folder.length, name, (size_t)name_length);
    buffer[folder.length + name_length] = 0;
    return true;
}

bool app_file_path(char (&buffer)[513], const char *name) {
    return folder_file_path(buffer, os_exe_folder(), name);
}

static StrSlice path_slice(char (&buffer)[513]) { return StrSlice{(i64)strlen(buffer), buffer}; }

StrSlice app_read_file(const char *name) {
    char path[513];
    if (!app_file_path(path, name)) return StrSlice{0, nullptr};
    return os_read_entire_file(path_slice(path));
}

StrSlice app_output_folder(void) {
    StrSlice parts[2] = {{6, (char *)"output"}, {0, nullptr}};
    return os_exe_folder_join(parts);
}

void app_log_open(void) {
    char path[513];
    if (folder_file_path(path, app_settings_folder(), "vornby.log")) os_set_log_file(path_slice(path));
}

void config_load_file(void) {
    StrSlice content = app_read_file("Config.txt");
    config_load(content);
    os_free_file(&content);
}

void state_load_file(void) {
    StrSlice content = app_read_file("_vornby.state");
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
