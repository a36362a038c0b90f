// The recorder's unit tests put the region by its corners, as a drag leaves it.
#pragma once

#include "recorder/app.h"
#include "recorder/region.h"

inline void set_region(i32 x0, i32 y0, i32 x1, i32 y1) {
    app.region_x0 = x0;
    app.region_y0 = y0;
    app.region_x1 = x1;
    app.region_y1 = y1;
    update_zone_sizes();
}
