// The program's files. Kept apart from the pure parsers so those link (and
// are fuzzed) without the file backend.
#include "app_files.h"

#include <string.h>

#include "app.h"
#include "config.h"
#include "settings.h"

static const char *const application_name = "Vornby";

// -1 until decided, then 0 or 1: the answer must not change within a run,
// or the state would be read from one place and written to another.
static i32 beside_program = -1;

// An installed program writes beside itself only when run as root or
// elevated, and then must not: what it left there would outlive the package.
bool app_files_beside_program(void) {
    if (beside_program < 0) beside_program = !os_program_installed() && os_folder_writable(os_exe_folder()) ? 1 : 0;
    return beside_program == 1;
}

StrSlice app_folder(AppFolder kind) {
    if (app_files_beside_program()) {
        StrSlice output[2] = {{7, (char *)"output/"}, {0, nullptr}};
        StrSlice none[1] = {{0, nullptr}};
        return os_exe_folder_join(kind == APP_FOLDER_RECORDINGS ? output : none);
    }
    u32 user_kind = kind == APP_FOLDER_SETTINGS ? OS_USER_FOLDER_CONFIG
                    : kind == APP_FOLDER_LOG    ? OS_USER_FOLDER_STATE
                                                : OS_USER_FOLDER_VIDEOS;
    return os_user_folder(user_kind, application_name);
}

bool app_path_in(char (&buffer)[513], StrSlice folder, const char *name) {
    i64 name_length = (i64)strlen(name);
    buffer[0] = 0;
    if (!folder.data || folder.length < 0 || folder.length + name_length > 512) return false;
    memcpy(buffer, folder.data, (size_t)folder.length);
    memcpy(buffer + folder.length, name, (size_t)name_length);
    buffer[folder.length + name_length] = 0;
    return true;
}

const char *path_file_name(const char *path) {
    const char *name = path;
    for (const char *c = path; *c; c++)
        if (*c == '/' || *c == '\\') name = c + 1;
    return name;
}

bool app_file_path(char (&buffer)[513], const char *name) { return app_path_in(buffer, os_exe_folder(), name); }

static StrSlice path_slice(char (&buffer)[513]) { return StrSlice{(i64)strlen(buffer), buffer}; }

StrSlice app_output_folder(void) {
    StrSlice folder = app_folder(APP_FOLDER_RECORDINGS);
    if (folder.data && folder.length > 1) folder.data[--folder.length] = 0;
    return folder;
}

StrSlice app_read_asset(const char *name) {
    char path[513];
    if (app_file_path(path, name) && os_file_exists(path_slice(path))) return os_read_entire_file(path_slice(path));
    StrSlice share[2] = {{16, (char *)"../share/vornby/"}, {0, nullptr}};
    StrSlice folder = os_exe_folder_join(share);
    bool fits = app_path_in(path, folder, name);
    os_free_string(&folder);
    return fits ? os_read_entire_file(path_slice(path)) : StrSlice{0, nullptr};
}

StrSlice app_setting_read(const char *name) {
    char path[513];
    StrSlice folder = app_folder(APP_FOLDER_SETTINGS);
    bool fits = app_path_in(path, folder, name);
    os_free_string(&folder);
    return fits ? os_read_entire_file(path_slice(path)) : StrSlice{0, nullptr};
}

void app_log_open(void) {
    char path[513];
    StrSlice folder = app_folder(APP_FOLDER_LOG);
    if (folder.data && os_make_directories(folder) == 0 && app_path_in(path, folder, "vornby.log"))
        os_set_log_file(path_slice(path));
    os_free_string(&folder);
}

void config_load_file(void) {
    StrSlice content = app_setting_read("Config.txt");
    config_load(content);
    os_free_file(&content);
}

void state_load_file(void) {
    StrSlice content = app_setting_read("_vornby.state");
    state_load(content);
    os_free_file(&content);
}

bool app_setting_write(const char *name, u32 size, const void *bytes) {
    char path[513], temporary[513];
    StrSlice folder = app_folder(APP_FOLDER_SETTINGS);
    char temporary_name[128];
    os_format(temporary_name, sizeof temporary_name, "%s.new", name);
    bool fits = app_path_in(path, folder, name) && app_path_in(temporary, folder, temporary_name);
    bool folder_made = folder.data && os_make_directories(folder) == 0;
    os_free_string(&folder);
    if (!fits || !folder_made) return false;
    // Written beside it and renamed over it: a crash or a full disk leaves the
    // old file whole, and a symbolic link in its place is replaced, not
    // followed. A stale temporary (even a link) goes first for the same
    // reason, and the new one is created anew: a link planted under its name
    // in between makes the write fail rather than go through it.
    os_delete_file(path_slice(temporary));
    bool written = os_create_file_exclusive(path_slice(temporary), size, bytes) == 0 &&
                   os_replace_file(path_slice(temporary), path_slice(path)) == 0;
    if (!written) os_delete_file(path_slice(temporary));
    return written;
}

bool state_save(void) {
    if (!app.state_read) return true;
    u8 record[STATE_FILE_SIZE];
    state_encode(record);
    bool saved = app_setting_write("_vornby.state", STATE_FILE_SIZE, record);
    if (!saved) {
        StrSlice folder = app_folder(APP_FOLDER_SETTINGS);
        os_print("* ERROR * The settings could not be saved to %s_vornby.state\n",
                 folder.data ? folder.data : "(no settings folder) ");
        os_free_string(&folder);
    }
    return saved;
}
