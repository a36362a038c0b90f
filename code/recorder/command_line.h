// What the command line asks for, and the running copy's instance channel:
// a second start of the same installation tells the first one instead of
// running beside it, whose files it would share.
#pragma once

#include "../os/os.h"

enum AppCommand : u8 {
    APP_COMMAND_RUN = 0,     // no arguments: the program
    APP_COMMAND_TOGGLE = 1,  // --toggle: record or stop, in the running copy
    APP_COMMAND_HELP = 2,    // --help
    APP_COMMAND_VERSION = 3, // --version
    APP_COMMAND_UNKNOWN = 4, // anything else: the usage, and exit code 2
    APP_COMMAND_PAUSE = 5,   // --pause: pause or resume the running copy's recording
};

AppCommand app_command_parse(int argc, char **argv);
// What --help prints.
extern const char app_usage[];

// The instance name of this installation: one per settings folder, so that
// portable copies in folders of their own run side by side, each with its own
// files, and a start of the same one finds the running copy.
void app_instance_name(char (&name)[65]);
// The messages to the running copy: --toggle's and --pause's (the hotkeys'
// work), and a second start's (its panel shown again, even when minimised:
// under some desktops nothing else would bring it back).
extern const char app_toggle_message[];
extern const char app_pause_message[];
extern const char app_show_message[];
