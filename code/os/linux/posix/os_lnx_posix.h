// Shared by the POSIX half of the Linux backend and the display halves above
// it (X11 today): what the process-wide services tell the window code.
#pragma once

#include "../../os_internal.h"

#include <signal.h>

// Set by SIGTERM, SIGINT or SIGHUP (os_init): the next pump closes every
// window, so the program ends the way it does when its windows are closed,
// saving what it saves then, instead of dying mid-write.
extern volatile sig_atomic_t os_lnx_stop_signal;
