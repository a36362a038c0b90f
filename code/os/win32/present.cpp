// Pixel buffers and presenting them with the device-independent-bitmap copy.
#include "os_w32_window.h"

i32 os_alloc_window_pixels(OsWindow *window) {
    Canvas *canvas = &window->pixels;
    canvas->width = window->client_width;
    canvas->height = window->client_height;
    canvas->capacity = os_pixel_capacity(canvas->width, canvas->height);
    canvas->pixels = (u32 *)os_alloc((u32)canvas->capacity);
    window->flags |= OS_WINDOW_PIXEL_BUFFER;
    return canvas->capacity;
}

void os_resize_window_pixels(OsWindow *window) {
    Canvas *canvas = &window->pixels;
    canvas->width = window->client_width;
    canvas->height = window->client_height;
    i32 capacity = os_pixel_capacity(canvas->width, canvas->height);
    if (canvas->capacity >= capacity) return;
    u32 *grown = (u32 *)(canvas->pixels ? os_realloc(canvas->pixels, (u32)capacity) : os_alloc((u32)capacity));
    if (!grown) return;
    canvas->pixels = grown;
    canvas->capacity = capacity;
}

void os_free_window_pixels(OsWindow *window) {
    Canvas *canvas = &window->pixels;
    if (canvas->pixels) os_free(canvas->pixels);
    canvas->width = 0;
    canvas->height = 0;
    canvas->pixels = nullptr;
    canvas->capacity = 0;
    window->flags &= (u16)~OS_WINDOW_PIXEL_BUFFER;
}

void os_present_window(OsWindow *window) {
    if (!window) return;
    u16 needed = OS_WINDOW_OPEN | OS_WINDOW_PIXEL_BUFFER;
    if ((window->flags & needed) != needed || !window->pixels.pixels) return;
    const Canvas *canvas = &window->pixels;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = canvas->width < window->client_width ? canvas->width : window->client_width;
    // Negative height: the rows are top-down.
    info.bmiHeader.biHeight = -(canvas->height < window->client_height ? canvas->height : window->client_height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    StretchDIBits((HDC)window->device_context, 0, 0, window->client_width, window->client_height, 0, 0,
                  canvas->width, canvas->height, canvas->pixels, &info, DIB_RGB_COLORS, SRCCOPY);
}
