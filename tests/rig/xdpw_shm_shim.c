/* Preloaded into xdg-desktop-portal-wlr 0.7 by scripts/with-wayland. That
 * version fails ScreenCast.Start ("unable to receive a valid format from
 * wlr_screencopy") unless every screencopy frame also announces a dmabuf
 * format, which a compositor without a GPU never does (mended upstream in
 * 0.8). This announces XRGB8888 after each shared-memory buffer event; with
 * no dmabuf modifiers on offer the portal still hands PipeWire memfd buffers. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <string.h>

struct wl_proxy;
const char *wl_proxy_get_class(struct wl_proxy *proxy);
uint32_t wl_proxy_get_version(struct wl_proxy *proxy);

/* zwlr_screencopy_frame_v1's listener, in the event order of version 3. */
struct frame_listener {
    void (*buffer)(void *, struct wl_proxy *, uint32_t, uint32_t, uint32_t, uint32_t);
    void (*flags)(void *, struct wl_proxy *, uint32_t);
    void (*ready)(void *, struct wl_proxy *, uint32_t, uint32_t, uint32_t);
    void (*failed)(void *, struct wl_proxy *);
    void (*damage)(void *, struct wl_proxy *, uint32_t, uint32_t, uint32_t, uint32_t);
    void (*linux_dmabuf)(void *, struct wl_proxy *, uint32_t, uint32_t, uint32_t);
    void (*buffer_done)(void *, struct wl_proxy *);
};

enum { DRM_FORMAT_XRGB8888 = 0x34325258 };

static const struct frame_listener *portal_listener;
static struct frame_listener patched_listener;

static void on_buffer(void *data, struct wl_proxy *frame, uint32_t format, uint32_t width, uint32_t height,
                      uint32_t stride) {
    portal_listener->buffer(data, frame, format, width, height, stride);
    if (wl_proxy_get_version(frame) >= 3 && portal_listener->linux_dmabuf)
        portal_listener->linux_dmabuf(data, frame, DRM_FORMAT_XRGB8888, width, height);
}

int wl_proxy_add_listener(struct wl_proxy *proxy, void (**implementation)(void), void *data) {
    static int (*next)(struct wl_proxy *, void (**)(void), void *);
    if (!next) next = (int (*)(struct wl_proxy *, void (**)(void), void *))dlsym(RTLD_NEXT, "wl_proxy_add_listener");
    if (strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") == 0) {
        if (!portal_listener) {
            portal_listener = (const struct frame_listener *)implementation;
            patched_listener = *portal_listener;
            patched_listener.buffer = on_buffer;
        }
        if ((const void *)implementation == (const void *)portal_listener)
            implementation = (void (**)(void))&patched_listener;
    }
    return next(proxy, implementation, data);
}
