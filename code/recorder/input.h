// The pointer as every state reads it: the poll at the start of a frame, and
// the panel input of the busy states (countdown, recording).
#pragma once

#include "../ui/view.h"

// Polls the pointer; a new position sets moved and changed and is stored in
// last_cursor.
void poll_cursor(void);
// The pointer poll and panel hover of a busy state; the control a press of
// this frame acts on (where the press happened), also when its release came
// with it, else ELEMENT_NONE.
ElementId busy_input(void);
