// The one compiled copy of stb_truetype, allocating from the process heap.
#include "../os/os.h"

#define STBTT_malloc(size, user) ((void)(user), os_alloc((u32)(size)))
#define STBTT_free(pointer, user) ((void)(user), os_free(pointer))
#define STB_TRUETYPE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_truetype.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
