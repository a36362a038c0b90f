// Pixel buffers and presenting them with the device-independent-bitmap copy.
#include "os_w32_window.h"

i32 os_alloc_window_pixels(OsWindow *window) {
    Canvas *canvas = &window->pixels;
    i32 capacity = os_pixel_capacity(window->client_width, window->client_height);
    if (os_pixel_buffer_refused(window, capacity)) return canvas->capacity;
    if (canvas->pixels) os_free(canvas->pixels);
    canvas->pixels = (u32 *)os_alloc((u32)capacity);
    bool allocated = canvas->pixels != nullptr;
    canvas->width = allocated ? window->client_width : 0;
    canvas->height = allocated ? window->client_height : 0;
    canvas->capacity = allocated ? capacity : 0;
    window->flags |= OS_WINDOW_PIXEL_BUFFER;
    return canvas->capacity;
}

void os_resize_window_pixels(OsWindow *window) {
    Canvas *canvas = &window->pixels;
    i32 capacity = os_pixel_capacity(window->client_width, window->client_height);
    if (os_pixel_buffer_refused(window, capacity)) return;
    if (canvas->capacity < capacity) {
        u32 *grown = (u32 *)(canvas->pixels ? os_realloc(canvas->pixels, (u32)capacity) : os_alloc((u32)capacity));
        if (!grown) {
            os_pixel_buffer_refused(window, 0);
            return;
        }
        canvas->pixels = grown;
        canvas->capacity = capacity;
    }
    canvas->width = window->client_width;
    canvas->height = window->client_height;
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
