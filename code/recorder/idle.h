// The idle state: hover, the panel's buttons, and dragging the region.
#pragma once

#include "../ui/view.h"

void idle_frame(void);
// How long the loop may block on events after an idle frame: 0 (run at the
// frame rate) while a control or zone is held, or outside the idle state;
// otherwise short while the pointer is near the region or the panel, where a
// warped pointer must be seen soon, and long elsewhere.
u32 idle_wait_ms(void);
