// The process heap.
#include "../os_internal.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

void *os_alloc(u32 size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void *os_alloc_zeroed(u32 size) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size); }

void *os_realloc(void *pointer, u32 size) { return HeapReAlloc(GetProcessHeap(), 0, pointer, size); }

bool os_free(void *pointer) { return HeapFree(GetProcessHeap(), 0, pointer) != 0; }

u64 os_alloc_size(void *pointer) { return HeapSize(GetProcessHeap(), 0, pointer); }
