// Start-up: assets, configuration, the saved state and the first layout.
#pragma once

#include "../os/os.h"

// The first frame: loads everything, lays out, and enters the idle state.
void app_startup_frame(void);
// What any panel needs: the icons, the font, the monitors and the default
// region on the main one.
void app_startup_view(void);
// Reads the monitor table into the app's view of the desktop.
void app_read_monitors(void);
// The frame metrics and the default region for a screen of this size.
void app_default_region(i32 width, i32 height);
