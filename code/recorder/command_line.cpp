#include "command_line.h"

#include <string.h>

#include "app_files.h"
#include "text_builder.h"

const char app_usage[] =
    "Usage: vornby [--toggle | --pause | --help | --version]\n"
    "Records a region of the screen to a lossless video.\n"
    "  --toggle   start or stop recording in the running Vornby (or start it)\n"
    "  --pause    pause or resume the running Vornby's recording\n"
    "  --help     show this and exit\n"
    "  --version  show the version and exit\n";

const char app_toggle_message[] = "toggle";
const char app_show_message[] = "show";
const char app_pause_message[] = "pause";

AppCommand app_command_parse(int argc, char **argv) {
    if (argc < 2) return APP_COMMAND_RUN;
    if (argc > 2) return APP_COMMAND_UNKNOWN;
    if (strcmp(argv[1], "--toggle") == 0) return APP_COMMAND_TOGGLE;
    if (strcmp(argv[1], "--pause") == 0) return APP_COMMAND_PAUSE;
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) return APP_COMMAND_HELP;
    if (strcmp(argv[1], "--version") == 0) return APP_COMMAND_VERSION;
    return APP_COMMAND_UNKNOWN;
}

void app_instance_name(char (&name)[65]) {
    // A hash of the settings folder's path: short, and only the letters an
    // instance name may hold.
    StrSlice folder = app_folder(APP_FOLDER_SETTINGS);
    u64 hash = text_hash(folder);
    os_free_string(&folder);
    os_format(name, sizeof name, "Vornby-%016llx", (unsigned long long)hash);
}
