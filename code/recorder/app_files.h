// The files beside the executable: paths, whole-file reads, and the
// configuration and state files read at start-up and written at exit.
#pragma once

#include "../os/os.h"

// Builds folder + name into buffer, the 512-byte path buffer of start-up plus
// its NUL. False, with an empty buffer, when the whole path does not fit: a
// cut path would name some other file, and writing there could destroy it.
bool app_file_path(char (&buffer)[513], const char *name);
// The folder the settings, the state and the log live in, with a trailing
// "/": the executable's folder. Cached; do not free.
StrSlice app_settings_folder(void);
// Starts vornby.log in the settings folder (the last run's log becomes
// vornby.log.1); without it the program runs on, printing only.
void app_log_open(void);
// A new string (free with os_free_string): the executable's folder + "output",
// where the recordings go.
StrSlice app_output_folder(void);
// The whole file beside the executable ({0, null} when missing or the path
// does not fit). Free with os_free_file.
StrSlice app_read_file(const char *name);
// Reads Config.txt beside the executable and applies it; nothing when the
// file is missing or unreadable.
void config_load_file(void);
// Reads _vornby.state beside the executable and applies it.
void state_load_file(void);
// Writes the record to _vornby.state beside the executable; failures are silent.
void state_save(void);
