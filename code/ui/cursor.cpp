// Kept apart from the hit tests so that they link without a window backend.
#include "hit_test.h"

void set_cursor_for(ElementId id) {
    i32 shape = cursor_for_element(id);
    if (shape >= 0) os_set_cursor((OsCursor)shape);
}
