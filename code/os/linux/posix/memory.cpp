// The heap over malloc.
#include "../../os_internal.h"

#include <malloc.h>
#include <stdlib.h>

void *os_alloc(u32 size) { return malloc(size); }

void *os_alloc_zeroed(u32 size) { return calloc(1, size); }

void *os_realloc(void *pointer, u32 size) { return pointer ? realloc(pointer, size) : nullptr; }

bool os_free(void *pointer) {
    free(pointer);
    return true;
}

u64 os_alloc_size(void *pointer) { return malloc_usable_size(pointer); }
