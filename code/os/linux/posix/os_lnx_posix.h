// Shared by the POSIX half of the Linux backend and the display halves above
// it (X11 today): what the process-wide services tell the window code.
#pragma once

#include "../../os_internal.h"

#include <signal.h>

// Set by SIGTERM, SIGINT or SIGHUP (os_init): the next pump closes every
// window, so the program ends the way it does when its windows are closed,
// saving what it saves then, instead of dying mid-write.
extern volatile sig_atomic_t os_lnx_stop_signal;

// The instance channel's listening socket for the event wait; -1 until
// os_instance_claim succeeded.
int os_lnx_instance_fd(void);
// The next message sent to this process's instance name, into *message
// (valid until the next call); false when none is waiting. Never blocks for
// long: a sender that connected but wrote nothing costs at most 200 ms.
bool os_lnx_instance_take(StrSlice *message);
