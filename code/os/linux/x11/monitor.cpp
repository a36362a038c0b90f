// Monitors from XRandR: one record per active CRTC, the primary first (the
// order Windows enumerates in), the work area from the window manager.
#include "os_lnx_x11.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>
#include <stdint.h>
#include <string.h>

// The current desktop's work area, or false without a window manager that
// publishes one.
static bool os_lnx_work_area(Display *display, long area[4]) {
    const OsLnxAtoms &a = os_lnx_x.atoms;
    long desktop = 0;
    os_lnx_read_longs(display, os_lnx_x.root, a.net_current_desktop, XA_CARDINAL, &desktop, 1);
    // One x, y, width, height per desktop.
    enum { MOST_DESKTOPS = 256 };
    long areas[MOST_DESKTOPS * 4];
    i32 count = os_lnx_read_longs(display, os_lnx_x.root, a.net_workarea, XA_CARDINAL, areas, MOST_DESKTOPS * 4);
    if (count < 4) return false;
    if (desktop < 0 || desktop * 4 + 4 > count) desktop = 0;
    for (int i = 0; i < 4; i++) area[i] = areas[desktop * 4 + i];
    return area[2] > 0 && area[3] > 0;
}

static void os_lnx_finish_monitor(OsMonitor *monitor, bool has_area, const long area[4]) {
    // The work area covers every monitor; each gets its own part of it.
    monitor->work_x = monitor->x;
    monitor->work_y = monitor->y;
    monitor->work_width = monitor->width;
    monitor->work_height = monitor->height;
    if (has_area) {
        i64 left = area[0] > monitor->x ? area[0] : monitor->x;
        i64 top = area[1] > monitor->y ? area[1] : monitor->y;
        i64 right = area[0] + area[2] < (i64)monitor->x + monitor->width ? area[0] + area[2]
                                                                         : (i64)monitor->x + monitor->width;
        i64 bottom = area[1] + area[3] < (i64)monitor->y + monitor->height ? area[1] + area[3]
                                                                           : (i64)monitor->y + monitor->height;
        if (right > left && bottom > top) {
            monitor->work_x = (i32)left;
            monitor->work_y = (i32)top;
            monitor->work_width = (i32)(right - left);
            monitor->work_height = (i32)(bottom - top);
        }
    }
}

static i32 os_lnx_mode_refresh(XRRScreenResources *resources, RRMode id) {
    for (int i = 0; i < resources->nmode; i++) {
        const XRRModeInfo &mode = resources->modes[i];
        if (mode.id != id) continue;
        double lines = (double)mode.vTotal;
        if (mode.modeFlags & RR_DoubleScan) lines *= 2;
        if (mode.modeFlags & RR_Interlace) lines /= 2;
        double frame = (double)mode.hTotal * lines;
        if (frame <= 0 || mode.dotClock == 0) return 0;
        return (i32)((double)mode.dotClock / frame + 0.5);
    }
    return 0;
}

// The whole screen as one monitor, for a server without RandR.
static void os_lnx_add_screen(Display *display) {
    OsMonitor *monitor = os_monitor_table_add();
    if (!monitor) return;
    monitor->flags = 1;
    monitor->width = display ? DisplayWidth(display, os_lnx_x.screen) : 0;
    monitor->height = display ? DisplayHeight(display, os_lnx_x.screen) : 0;
    monitor->name = os_string_copy("", 0);
    os_diagnostic("* WARNING * Failed to get monitor info (name, inner bounds, primary status).\n");
    // Position only, as when Windows cannot read the monitor's information.
    monitor->work_x = monitor->x;
    monitor->work_y = monitor->y;
    os_monitor_fallbacks(monitor, monitor->width, monitor->height);
}

static void os_lnx_enumerate(void) {
    Display *display = os_lnx_display();
    int event_base, error_base;
    XRRScreenResources *resources = nullptr;
    if (display && XRRQueryExtension(display, &event_base, &error_base))
        resources = XRRGetScreenResourcesCurrent(display, os_lnx_x.root);
    if (!resources) {
        os_lnx_add_screen(display);
        return;
    }
    long area[4];
    bool has_area = os_lnx_work_area(display, area);
    RROutput primary = XRRGetOutputPrimary(display, os_lnx_x.root);
    // Outputs in the server's order, the primary moved to the front; one
    // record per CRTC, so mirrored outputs count once.
    RROutput order[64];
    int order_count = 0;
    if (primary) order[order_count++] = primary;
    for (int i = 0; i < resources->noutput && order_count < 64; i++)
        if (resources->outputs[i] != primary) order[order_count++] = resources->outputs[i];
    RRCrtc seen[64];
    int seen_count = 0;
    int added = 0;
    for (int i = 0; i < order_count; i++) {
        XRROutputInfo *output = XRRGetOutputInfo(display, resources, order[i]);
        if (!output) continue;
        // An output with a CRTC shows pixels whatever its connection state
        // says (virtual outputs, such as the dummy driver's, report none).
        bool active = output->crtc != 0;
        for (int k = 0; active && k < seen_count; k++)
            if (seen[k] == output->crtc) active = false;
        XRRCrtcInfo *crtc = active ? XRRGetCrtcInfo(display, resources, output->crtc) : nullptr;
        if (crtc && crtc->mode && seen_count < 64) {
            seen[seen_count++] = output->crtc;
            OsMonitor *monitor = os_monitor_table_add();
            if (monitor) {
                added++;
                monitor->handle = (void *)(uintptr_t)output->crtc;
                monitor->flags = order[i] == primary ? 1 : 0;
                monitor->x = crtc->x;
                monitor->y = crtc->y;
                monitor->width = (i32)crtc->width;
                monitor->height = (i32)crtc->height;
                monitor->refresh_rate = os_lnx_mode_refresh(resources, crtc->mode);
                monitor->name = os_string_copy(output->name, output->nameLen);
                os_monitor_fallbacks(monitor, (i32)crtc->width, (i32)crtc->height);
                os_lnx_finish_monitor(monitor, has_area, area);
            }
        }
        if (crtc) XRRFreeCrtcInfo(crtc);
        XRRFreeOutputInfo(output);
    }
    XRRFreeScreenResources(resources);
    if (!added) os_lnx_add_screen(display);
}

void os_platform_enumerate_monitors(void) {
    os_lnx_enumerate();
    os_monitor_table_commit();
}
