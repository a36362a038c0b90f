// Pixel buffers and presenting. A real window's canvas lives in a MIT-SHM
// segment when the server offers one, so presenting is a single put with no
// copy; otherwise (or for a record without an X window) it is heap memory
// sent with a plain XPutImage.
#include "os_lnx_x11.h"

#include <X11/extensions/shape.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>

static bool os_lnx_shm_alloc(OsLnxWindow *b, i32 capacity) {
    int id = shmget(IPC_PRIVATE, (size_t)capacity, IPC_CREAT | 0600);
    if (id < 0) return false;
    void *address = shmat(id, nullptr, 0);
    if (address == (void *)-1) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    XShmSegmentInfo info = {};
    info.shmid = id;
    info.shmaddr = (char *)address;
    info.readOnly = True;
    os_lnx_trap_begin();
    XShmAttach(os_lnx_x.display, &info);
    int error = os_lnx_trap_end();
    // Marked for removal now, so the segment goes when both sides detach,
    // however the process ends.
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
        // A remote server cannot reach our memory: plain puts from now on.
        shmdt(address);
        os_lnx_x.shm = false;
        return false;
    }
    b->shm = info;
    return true;
}

static void os_lnx_shm_free(OsLnxWindow *b) {
    if (!os_lnx_x.lost) {
        XShmDetach(os_lnx_x.display, &b->shm);
        // The server must let go before the memory does.
        XSync(os_lnx_x.display, False);
    }
    shmdt(b->shm.shmaddr);
    b->shm = XShmSegmentInfo{};
}

static bool os_lnx_uses_shm(OsWindow *window) {
    OsLnxWindow *b = os_lnx_window(window);
    return b && b->shm.shmaddr && (char *)window->pixels.pixels == b->shm.shmaddr;
}

static u32 *os_lnx_pixels_alloc(OsWindow *window, i32 capacity) {
    OsLnxWindow *b = os_lnx_window(window);
    if (b && os_lnx_x.shm && !os_lnx_x.lost && os_lnx_shm_alloc(b, capacity)) return (u32 *)b->shm.shmaddr;
    return (u32 *)os_alloc((u32)capacity);
}

static void os_lnx_pixels_free(OsWindow *window) {
    if (os_lnx_uses_shm(window)) os_lnx_shm_free(os_lnx_window(window));
    else os_free(window->pixels.pixels);
}

i32 os_alloc_window_pixels(OsWindow *window) {
    // A second allocation replaces the first instead of leaking it.
    i32 capacity = os_pixel_capacity(window->client_width, window->client_height);
    if (os_pixel_buffer_refused(window, capacity)) return window->pixels.capacity;
    if (window->pixels.pixels) os_lnx_pixels_free(window);
    window->pixels.pixels = os_lnx_pixels_alloc(window, capacity);
    bool allocated = window->pixels.pixels != nullptr;
    window->pixels.width = allocated ? window->client_width : 0;
    window->pixels.height = allocated ? window->client_height : 0;
    window->pixels.capacity = allocated ? capacity : 0;
    window->flags |= OS_WINDOW_PIXEL_BUFFER;
    return window->pixels.capacity;
}

void os_resize_window_pixels(OsWindow *window) {
    i32 capacity = os_pixel_capacity(window->client_width, window->client_height);
    if (os_pixel_buffer_refused(window, capacity)) return;
    if (window->pixels.capacity >= capacity) {
        window->pixels.width = window->client_width;
        window->pixels.height = window->client_height;
        return;
    }
    if (!window->pixels.pixels || !os_lnx_uses_shm(window)) {
        void *grown = window->pixels.pixels ? os_realloc(window->pixels.pixels, (u32)capacity)
                                            : os_alloc((u32)capacity);
        if (!grown) {
            os_pixel_buffer_refused(window, 0);
            return;
        }
        window->pixels.pixels = (u32 *)grown;
        window->pixels.capacity = capacity;
        window->pixels.width = window->client_width;
        window->pixels.height = window->client_height;
        return;
    }
    // A segment cannot grow: a new one takes the old bytes.
    OsLnxWindow *b = os_lnx_window(window);
    XShmSegmentInfo old = b->shm;
    b->shm = XShmSegmentInfo{};
    u32 *grown = nullptr;
    if (os_lnx_x.shm && !os_lnx_x.lost && os_lnx_shm_alloc(b, capacity)) grown = (u32 *)b->shm.shmaddr;
    XShmSegmentInfo fresh = b->shm;
    if (!grown) grown = (u32 *)os_alloc((u32)capacity);
    if (grown) memcpy(grown, old.shmaddr, (size_t)window->pixels.capacity);
    b->shm = old;
    if (!grown) {
        os_pixel_buffer_refused(window, 0);
        return;
    }
    os_lnx_shm_free(b);
    b->shm = fresh;
    window->pixels.pixels = grown;
    window->pixels.capacity = capacity;
    window->pixels.width = window->client_width;
    window->pixels.height = window->client_height;
}

void os_free_window_pixels(OsWindow *window) {
    if (window->pixels.pixels) os_lnx_pixels_free(window);
    window->pixels = Canvas{};
    window->flags &= (u16)~OS_WINDOW_PIXEL_BUFFER;
}

void os_present_window(OsWindow *window) {
    if (!window || !(window->flags & OS_WINDOW_OPEN) || !(window->flags & OS_WINDOW_PIXEL_BUFFER)) return;
    if (!window->pixels.pixels) return;
    OsLnxWindow *b = os_lnx_window(window);
    if (!b || os_lnx_x.lost) return;
    i32 width = window->pixels.width < window->client_width ? window->pixels.width : window->client_width;
    i32 height = window->pixels.height < window->client_height ? window->pixels.height : window->client_height;
    if (width <= 0 || height <= 0) return; // a hidden or minimised window shows nothing
    Display *display = os_lnx_x.display;

    // The canvas as a ZPixmap: 0xAARRGGBB little-endian words are the
    // 0x00RRGGBB pixels of a 24-bit TrueColor visual, the top byte unused.
    XImage image = {};
    image.width = window->pixels.width;
    image.height = height;
    image.format = ZPixmap;
    image.data = (char *)window->pixels.pixels;
    image.byte_order = LSBFirst;
    image.bitmap_unit = 32;
    image.bitmap_bit_order = LSBFirst;
    image.bitmap_pad = 32;
    image.depth = os_lnx_x.depth;
    image.bytes_per_line = window->pixels.width * 4;
    image.bits_per_pixel = 32;
    image.red_mask = 0xFF0000;
    image.green_mask = 0xFF00;
    image.blue_mask = 0xFF;
    if (!XInitImage(&image)) return;
    if (os_lnx_uses_shm(window)) {
        image.obdata = (char *)&b->shm;
        XShmPutImage(display, b->id, b->gc, &image, 0, 0, 0, 0, (unsigned)width, (unsigned)height, False);
        // The server reads the segment later; the application may draw
        // again as soon as this returns, so wait until it has.
        XSync(display, False);
    } else {
        XPutImage(display, b->id, b->gc, &image, 0, 0, 0, 0, (unsigned)width, (unsigned)height);
        XFlush(display);
    }
    if (window->flags & OS_WINDOW_LAYERED) os_lnx_update_shape_mask(window, width, height);
}

void os_lnx_update_shape_mask(OsWindow *window, i32 width, i32 height) {
    // Colour key black: the window's shape is its non-black pixels.
    OsLnxWindow *b = os_lnx_window(window);
    if (!os_lnx_x.shape) return;
    Display *display = os_lnx_x.display;
    i32 stride = (width + 7) / 8;
    u8 *bits = (u8 *)os_alloc_zeroed((u32)(stride * height));
    if (!bits) return;
    const u32 *pixels = window->pixels.pixels;
    for (i32 y = 0; y < height; y++)
        for (i32 x = 0; x < width; x++)
            if (pixels[y * window->pixels.width + x] & 0xFFFFFF) bits[y * stride + x / 8] |= (u8)(1 << (x & 7));
    Pixmap mask = XCreateBitmapFromData(display, b->id, (const char *)bits, (unsigned)width, (unsigned)height);
    os_free(bits);
    XShapeCombineMask(display, b->id, ShapeBounding, 0, 0, mask, ShapeSet);
    XFreePixmap(display, mask);
    XFlush(display);
}
