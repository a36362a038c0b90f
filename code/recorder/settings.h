// The settings kept between runs: _vornby.state, the region and the panel
// choices in 38 little-endian bytes.
#pragma once

#include "../os/os.h"

enum { STATE_FILE_SIZE = 38 };

// Applies each field the content holds completely, in offset order, up to
// the first that does not fit; bytes past the 38th are ignored.
void state_load(StrSlice content);
// Fills out with the 38-byte record of the current app state.
void state_encode(u8 (&out)[STATE_FILE_SIZE]);
