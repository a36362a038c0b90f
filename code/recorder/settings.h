// The settings kept between runs: _vornby.state, the region and the panel
// choices in 38 little-endian bytes.
#pragma once

#include "../os/os.h"

enum { STATE_FILE_SIZE = 38 };
enum { FPS_CHOICE_COUNT = 19, DELAY_MAX_MS = 86400000, STATE_COORDINATE_LIMIT = 1 << 24 };

// The frame rates the panel offers, ascending.
extern const u16 fps_choices[FPS_CHOICE_COUNT];
// The choice nearest to fps (the lower one on a tie).
u8 fps_nearest_choice(i32 fps);

// Applies each field the content holds completely, in offset order, up to
// the first that does not fit; bytes past the 38th are ignored. Then brings
// the values into range: fps to the nearest choice, the delay into
// 0..DELAY_MAX_MS, a negative counter to 0, coordinates into
// +-STATE_COORDINATE_LIMIT.
void state_load(StrSlice content);
// Fills out with the 38-byte record of the current app state.
void state_encode(u8 (&out)[STATE_FILE_SIZE]);
