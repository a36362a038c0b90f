// The program's files: where they live, whole-file reads, and the
// configuration and state files read at start-up and written at exit.
//
// Where: beside the program when its folder is writable and not a system-wide
// install — the portable layout of the unzipped Windows folder and of the
// build folder — otherwise in the user's own folders: settings and state in
// the configuration folder, the log in the state folder, recordings in
// Videos/Vornby. Decided once per run, at the first use. The assets are read from beside the program, else
// from the installed share folder.
#pragma once

#include "../os/os.h"

enum AppFolder : u32 {
    APP_FOLDER_SETTINGS = 0,   // Config.txt and _vornby.state
    APP_FOLDER_LOG = 1,        // vornby.log
    APP_FOLDER_RECORDINGS = 2, // the .mp4 files
};

// True when this run keeps its files beside the program.
bool app_files_beside_program(void);
// A new string (free with os_free_string) with a trailing "/": the folder of
// that kind for this run. {0, null} when it cannot be found.
StrSlice app_folder(AppFolder kind);
// Builds folder + name into buffer, the 512-byte path buffer of start-up plus
// its NUL. False, with an empty buffer, when the whole path does not fit: a
// cut path would name some other file, and writing there could destroy it.
bool app_path_in(char (&buffer)[513], StrSlice folder, const char *name);
// The part of a path after its last "/" or "\\".
const char *path_file_name(const char *path);
// The executable's folder + name, as app_path_in.
bool app_file_path(char (&buffer)[513], const char *name);
// Starts vornby.log in the log's folder (the last run's log becomes
// vornby.log.1); without it the program runs on, printing only.
void app_log_open(void);
// A new string (free with os_free_string), without a trailing "/": the folder
// the recordings go to, which the folder button opens.
StrSlice app_output_folder(void);
// The whole asset file (icons.png, font.otf) from beside the executable, else
// from the installed share folder ../share/vornby/ ({0, null} when neither
// has it). Free with os_free_file.
StrSlice app_read_asset(const char *name);
// A whole file of the settings folder ({0, null} when missing or unreadable;
// free with os_free_file).
StrSlice app_setting_read(const char *name);
// Replaces a file of the settings folder whole, creating the folder if
// needed; a crash leaves the old file. True when written.
bool app_setting_write(const char *name, u32 size, const void *bytes);
// Reads Config.txt from the settings folder and applies it; nothing when the
// file is missing or unreadable.
void config_load_file(void);
// Reads _vornby.state from the settings folder and applies it.
void state_load_file(void);
// Writes the record to _vornby.state in the settings folder, creating the
// folder if needed. A failure is reported on standard output, never silent.
// True when written.
bool state_save(void);
