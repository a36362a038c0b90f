// What only the X11 backend has to get right: the hints and attributes that
// stand in for Windows styles, click-through by input shape, unmapping of
// 0-sized windows, shared-memory presenting, the window manager's close
// request, and X errors that must not end the process. Checked from a second
// connection, as any other client (or the user) sees the windows.
#include <gtest/gtest.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#include <algorithm>
#include <string>
#include <vector>

#include "event_log.h"
#include "input_driver.h"
#include "os/os.h"
#include "slices.h"




static Window xid(OsWindow *window) { return (Window)(uintptr_t)window->handle; }

// The window as the server has it: root position, size and map state.
struct Seen {
    int x = -1, y = -1, width = -1, height = -1, map_state = -1;
    bool override_redirect = false;
};

static Seen seen(OsWindow *window) {
    Display *d = test_display();
    Seen s;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(d, xid(window), &attributes)) return s;
    Window child;
    XTranslateCoordinates(d, xid(window), DefaultRootWindow(d), 0, 0, &s.x, &s.y, &child);
    s.width = attributes.width;
    s.height = attributes.height;
    s.map_state = attributes.map_state;
    s.override_redirect = attributes.override_redirect;
    return s;
}

static bool seen_at(OsWindow *window, int x, int y, int width, int height) {
    Seen s = seen(window);
    return s.x == x && s.y == y && s.width == width && s.height == height && s.map_state == IsViewable;
}

static std::vector<Atom> atoms_of(OsWindow *window, const char *property) {
    Display *d = test_display();
    std::vector<Atom> found;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(d, xid(window), XInternAtom(d, property, False), 0, 64, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data && format == 32)
        for (unsigned long i = 0; i < count; i++) found.push_back((Atom)((long *)data)[i]);
    if (data) XFree(data);
    return found;
}

static bool has_atom(OsWindow *window, const char *property, const char *name) {
    Atom wanted = XInternAtom(test_display(), name, False);
    for (Atom atom : atoms_of(window, property))
        if (atom == wanted) return true;
    return false;
}

static int input_rectangles(OsWindow *window) {
    int count = -1, ordering;
    XRectangle *rectangles = XShapeGetRectangles(test_display(), xid(window), ShapeInput, &count, &ordering);
    if (rectangles) XFree(rectangles);
    return count;
}

TEST(RecorderWindows, SixWindowsAreBorderlessAtTheirRectanglesAndEdgesLetClicksThrough) {
    events.clear();
    os_set_event_callback(record_event);
    // Some other program's window under the region frame.
    OsWindow *below = os_open_window(400, 300, text("below"), OS_WINDOW_BORDERLESS | OS_WINDOW_PIXEL_BUFFER);
    ASSERT_NE(below, nullptr);
    os_move_window(below, 300, 300, 400, 300);
    fill(below, 0xFF0000FF);
    os_present_window(below);

    struct Placed { u16 flags; const char *title; i32 x, y, w, h; u32 color; };
    const Placed placed[6] = {
        {0xA450, "", 396, 346, 208, 4, 0xFFFF0000},        // top
        {0xA450, "", 396, 500, 208, 4, 0xFFFF0000},        // bottom
        {0xA450, "", 396, 350, 4, 150, 0xFFFF0000},        // left
        {0xA450, "", 600, 350, 4, 150, 0xFFFF0000},        // right
        {0x0450, "Vornby  |  0.9.2", 720, 120, 300, 60, 0xFF00FF00},
        {0x8450, "", 380, 330, 16, 16, 0xFFFFFF00},        // grab
    };
    OsWindow *windows[6];
    for (int i = 0; i < 6; i++) {
        windows[i] = os_open_window(placed[i].w, placed[i].h, text(placed[i].title), placed[i].flags);
        ASSERT_NE(windows[i], nullptr);
        os_move_window(windows[i], placed[i].x, placed[i].y, placed[i].w, placed[i].h);
        // The record follows at once, as on Windows, so drawing can follow.
        EXPECT_EQ(windows[i]->client_x, placed[i].x);
        EXPECT_EQ(windows[i]->pixels.width, placed[i].w);
        EXPECT_EQ(windows[i]->pixels.height, placed[i].h);
        fill(windows[i], placed[i].color);
        os_present_window(windows[i]);
    }
    for (int i = 0; i < 6; i++) {
        const Placed &p = placed[i];
        EXPECT_TRUE(pump_until([&] { return seen_at(windows[i], p.x, p.y, p.w, p.h); })) << i;
        bool tool = p.flags & OS_WINDOW_TOOL;
        EXPECT_EQ(seen(windows[i]).override_redirect, tool) << i;
        std::vector<Atom> motif = atoms_of(windows[i], "_MOTIF_WM_HINTS");
        ASSERT_EQ(motif.size(), 5u) << i;
        EXPECT_EQ(motif[2], 0u) << "no decorations " << i;
        EXPECT_TRUE(has_atom(windows[i], "_NET_WM_STATE", "_NET_WM_STATE_ABOVE")) << i;
        EXPECT_EQ(has_atom(windows[i], "_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR"), tool) << i;
        EXPECT_EQ(input_rectangles(windows[i]), (p.flags & OS_WINDOW_TRANSPARENT) ? 0 : 1) << i;
        // What the user sees: the window's colour across its rectangle.
        u32 color = p.color & 0xFFFFFF;
        EXPECT_TRUE(pump_until([&] {
            return test_screen_pixel(p.x, p.y) == color && test_screen_pixel(p.x + p.w - 1, p.y + p.h - 1) == color;
        })) << i << " " << std::hex << test_screen_pixel(p.x, p.y);
    }
    EXPECT_EQ(test_window_title(windows[4]), "Vornby  |  0.9.2");
    std::vector<Atom> protocols = atoms_of(windows[4], "WM_PROTOCOLS");
    ASSERT_EQ(protocols.size(), 1u);
    EXPECT_EQ(protocols[0], XInternAtom(test_display(), "WM_DELETE_WINDOW", False));
    // VORNBY_SCREENSHOT=path keeps a screenshot of this moment for a person to look at.
    if (const char *path = getenv("VORNBY_SCREENSHOT")) {
        std::string command = std::string("import -window root ") + path;
        EXPECT_EQ(system(command.c_str()), 0);
    }

    // A click on the top edge reaches the window below; one on the grab
    // window stays there.
    events.clear();
    test_mouse_move(450, 347);
    test_mouse_button(OS_MOUSE_LEFT, true);
    test_mouse_button(OS_MOUSE_LEFT, false);
    ASSERT_TRUE(pump_until([&] { return events_of(below, OS_EVENT_MOUSE_BUTTON).size() == 2; }));
    EXPECT_EQ(events_of(below, OS_EVENT_MOUSE_BUTTON)[0].button.x, 450);
    EXPECT_EQ(events_of(below, OS_EVENT_MOUSE_BUTTON)[0].button.y, 347);
    EXPECT_TRUE(events_of(windows[0], OS_EVENT_MOUSE_BUTTON).empty());
    test_mouse_move(385, 335);
    test_mouse_button(OS_MOUSE_LEFT, true);
    test_mouse_button(OS_MOUSE_LEFT, false);
    ASSERT_TRUE(pump_until([&] { return events_of(windows[5], OS_EVENT_MOUSE_BUTTON).size() == 2; }));
    EXPECT_EQ(events_of(below, OS_EVENT_MOUSE_BUTTON).size(), 2u);
    close_all();
}

TEST(RecorderWindows, ZeroSizeUnmapsAndARealSizeMapsAgain) {
    events.clear();
    os_set_event_callback(record_event);
    OsWindow *edge = os_open_window(200, 4, text(""), 0xA450);
    ASSERT_NE(edge, nullptr);
    os_move_window(edge, 100, 100, 200, 4);
    ASSERT_TRUE(pump_until([&] { return seen_at(edge, 100, 100, 200, 4); }));
    i32 capacity = edge->pixels.capacity;

    events.clear();
    os_move_window(edge, 0, 0, 0, 0);
    EXPECT_EQ(edge->client_width, 0);
    EXPECT_EQ(edge->client_height, 0);
    EXPECT_EQ(edge->pixels.width, 0);
    EXPECT_EQ(edge->pixels.capacity, capacity);
    ASSERT_EQ(events_of(edge, OS_EVENT_WINDOW_RESIZE).size(), 1u);
    EXPECT_EQ(events_of(edge, OS_EVENT_WINDOW_RESIZE)[0].size.width, 0);
    EXPECT_TRUE(pump_until([&] { return seen(edge).map_state == IsUnmapped; }));
    os_present_window(edge); // nothing to show, nothing to fail
    // Late notices of the server do not bring back the old size.
    EXPECT_EQ(edge->client_width, 0);

    os_move_window(edge, 50, 60, 4, 300);
    EXPECT_EQ(edge->client_height, 300);
    EXPECT_EQ(edge->pixels.height, 300);
    EXPECT_TRUE(pump_until([&] { return seen_at(edge, 50, 60, 4, 300); }));
    EXPECT_EQ(edge->client_width, 4);
    close_all();
}

TEST(RecorderWindows, MinimiseWithoutAWindowManagerHidesUntilRestored) {
    events.clear();
    os_set_event_callback(record_event);
    OsWindow *control = os_open_window(300, 60, text("Vornby  |  0.9.2"), 0x0450);
    ASSERT_NE(control, nullptr);
    os_move_window(control, 500, 500, 300, 60);
    ASSERT_TRUE(pump_until([&] { return seen_at(control, 500, 500, 300, 60); }));
    events.clear();
    os_minimize_window(control);
    EXPECT_EQ(control->client_width, 0);
    EXPECT_EQ(control->pixels.height, 0);
    EXPECT_TRUE(control->flags & OS_WINDOW_OPEN);
    ASSERT_FALSE(events_of(control, OS_EVENT_WINDOW_RESIZE).empty());
    EXPECT_EQ(events_of(control, OS_EVENT_WINDOW_RESIZE).back().size.height, 0);
    EXPECT_TRUE(pump_until([&] { return seen(control).map_state == IsUnmapped; }));
    os_restore_window(control);
    EXPECT_EQ(control->client_width, 300);
    EXPECT_EQ(control->pixels.height, 60);
    EXPECT_TRUE(pump_until([&] { return seen_at(control, 500, 500, 300, 60); }));
    close_all();
}

// The shared-memory segments this process has attached, by size.
static std::vector<long> attached_segments(void) {
    std::vector<long> sizes;
    FILE *file = fopen("/proc/sysvipc/shm", "r");
    if (!file) return sizes;
    char line[512];
    fgets(line, sizeof line, file); // the header
    while (fgets(line, sizeof line, file)) {
        long key, id, perms, size, cpid;
        if (sscanf(line, "%ld %ld %lo %ld %ld", &key, &id, &perms, &size, &cpid) == 5 && cpid == getpid())
            sizes.push_back(size);
    }
    fclose(file);
    return sizes;
}

static void expect_window_shows_canvas(OsWindow *window) {
    Display *d = test_display();
    i32 w = window->client_width, h = window->client_height;
    bool same = false;
    for (int tries = 0; tries < 200 && !same; tries++) {
        XImage *image = XGetImage(d, xid(window), 0, 0, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
        ASSERT_NE(image, nullptr);
        same = true;
        for (i32 y = 0; y < h && same; y++)
            for (i32 x = 0; x < w && same; x++)
                same = ((u32)XGetPixel(image, x, y) & 0xFFFFFF) == (window->pixels.pixels[y * w + x] & 0xFFFFFF);
        XDestroyImage(image);
        if (!same) usleep(5000);
    }
    EXPECT_TRUE(same);
}

TEST(Present, SharedMemoryCanvasIsShownPixelForPixel) {
    OsWindow *window = os_open_window(257, 130, text("shm"), OS_WINDOW_BORDERLESS | OS_WINDOW_PIXEL_BUFFER);
    ASSERT_NE(window, nullptr);
    os_move_window(window, 10, 10, 257, 130);
    // Xvfb offers MIT-SHM: the canvas itself is the segment the server reads.
    std::vector<long> segments = attached_segments();
    EXPECT_EQ(std::count(segments.begin(), segments.end(), (long)window->pixels.capacity), 1);
    for (i32 y = 0; y < 130; y++)
        for (i32 x = 0; x < 257; x++) window->pixels.pixels[y * 257 + x] = 0xFF000000u | (u32)(x << 16 | y << 8 | (x ^ y));
    os_present_window(window);
    ASSERT_TRUE(pump_until([&] { return seen_at(window, 10, 10, 257, 130); }));
    os_present_window(window);
    expect_window_shows_canvas(window);

    // Growing past the capacity moves the pixels to a bigger segment; the
    // old one is given back.
    i32 old_capacity = window->pixels.capacity;
    os_move_window(window, 10, 10, 700, 400);
    EXPECT_GT(window->pixels.capacity, old_capacity);
    segments = attached_segments();
    EXPECT_EQ(std::count(segments.begin(), segments.end(), (long)window->pixels.capacity), 1);
    EXPECT_EQ(std::count(segments.begin(), segments.end(), (long)old_capacity), 0);
    for (i32 i = 0; i < 700 * 400; i++) window->pixels.pixels[i] = 0xFF000000u | (u32)(i * 2654435761u >> 8);
    os_present_window(window);
    expect_window_shows_canvas(window);
    close_all();
    EXPECT_TRUE(attached_segments().empty());
}

TEST(Close, TheWindowManagersRequestAndAForeignDestroy) {
    events.clear();
    os_set_event_callback(record_event);
    OsWindow *a = os_open_window(50, 50, text("a"), 0x0450);
    OsWindow *b = os_open_window(50, 50, text("b"), 0x0450);
    OsWindow *c = os_open_window(50, 50, text("c"), 0x0450);
    ASSERT_TRUE(a && b && c);

    // The close button of a window manager: WM_DELETE_WINDOW.
    Display *d = test_display();
    XEvent request = {};
    request.xclient.type = ClientMessage;
    request.xclient.window = xid(b);
    request.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    request.xclient.format = 32;
    request.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    request.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, xid(b), False, NoEventMask, &request);
    XSync(d, False);
    ASSERT_TRUE(pump_until([&] { return !events_of(b, OS_EVENT_WINDOW_CLOSE).empty(); }));
    XSendEvent(d, xid(b), False, NoEventMask, &request); // a second click: the window is gone
    XSync(d, False);
    os_sleep_ms(0);
    pump_until([&] { return seen(b).width == -1; });
    EXPECT_EQ(seen(b).width, -1); // destroyed on the server
    EXPECT_FALSE(b->flags & OS_WINDOW_OPEN);

    // Another client destroys c; then the program moves it before it has
    // heard: the BadWindow error must not end the process.
    Window gone = xid(c);
    XDestroyWindow(d, gone);
    XSync(d, False);
    os_move_window(c, 10, 10, 20, 20);
    os_present_window(c);
    ASSERT_TRUE(pump_until([&] { return !events_of(c, OS_EVENT_WINDOW_CLOSE).empty(); }));
    os_pump_messages();
    i32 closes = 0;
    for (const OsEvent &event : events) closes += event.kind == OS_EVENT_WINDOW_CLOSE;
    EXPECT_EQ(closes, 2);
    i32 count;
    OsWindow **list;
    os_get_windows(&count, nullptr, &list);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(list[0], a);
    // The library is still usable.
    os_move_window(a, 30, 40, 50, 50);
    EXPECT_TRUE(pump_until([&] { return seen_at(a, 30, 40, 50, 50); }));
    close_all();
}

// Types one key by keysym and returns the key and character events.
static std::vector<std::string> type_keysyms(OsWindow *window, std::initializer_list<KeySym> down_then_up) {
    Display *d = test_display();
    events.clear();
    std::vector<KeySym> keys(down_then_up);
    for (KeySym k : keys) XTestFakeKeyEvent(d, XKeysymToKeycode(d, k), True, CurrentTime);
    for (size_t i = keys.size(); i-- > 0;) XTestFakeKeyEvent(d, XKeysymToKeycode(d, keys[i]), False, CurrentTime);
    XSync(d, False);
    // The first key down is the last one up, and always comes through.
    u16 first = 0;
    pump_until([&] {
        for (const OsEvent &event : events) {
            if (event.window != window || event.kind != OS_EVENT_KEY) continue;
            if (!first) first = event.key.code;
            if (!event.key.pressed && event.key.code == first) return true;
        }
        return false;
    });
    std::vector<std::string> out;
    for (const OsEvent &event : events) {
        if (event.window != window) continue;
        if (event.kind == OS_EVENT_KEY)
            out.push_back((event.key.pressed ? "+" : "-") + std::to_string(event.key.code));
        if (event.kind == OS_EVENT_CHAR) out.push_back("c" + std::to_string(event.character));
    }
    return out;
}

TEST(Events, KeysysmsBecomeWindowsVirtualKeys) {
    os_set_event_callback(record_event);
    OsWindow *window = os_open_window(200, 100, text("keys"), 0);
    ASSERT_NE(window, nullptr);
    os_focus_window(window);
    ASSERT_TRUE(pump_until([&] { return test_has_focus(window); }));
    using V = std::vector<std::string>;
    EXPECT_EQ(type_keysyms(window, {XK_F1}), (V{"+112", "-112"}));
    EXPECT_EQ(type_keysyms(window, {XK_F12}), (V{"+123", "-123"}));
    EXPECT_EQ(type_keysyms(window, {XK_Left}), (V{"+37", "-37"}));
    EXPECT_EQ(type_keysyms(window, {XK_Next}), (V{"+34", "-34"}));
    EXPECT_EQ(type_keysyms(window, {XK_Delete}), (V{"+46", "-46"})); // no character
    EXPECT_EQ(type_keysyms(window, {XK_Escape}), (V{"+27", "c27", "-27"}));
    EXPECT_EQ(type_keysyms(window, {XK_Tab}), (V{"+9", "c9", "-9"}));
    EXPECT_EQ(type_keysyms(window, {XK_KP_Enter}), (V{"+13", "c10", "-13"}));
    EXPECT_EQ(type_keysyms(window, {XK_comma}), (V{"+188", "c44", "-188"}));
    EXPECT_EQ(type_keysyms(window, {XK_bracketleft}), (V{"+219", "c91", "-219"}));
    EXPECT_EQ(type_keysyms(window, {XK_Control_L}), (V{"+17", "-17"}));
    // The key, not the character: Shift+1 is key '1' typing '!'.
    EXPECT_EQ(type_keysyms(window, {XK_Shift_L, XK_1}), (V{"+16", "+49", "c33", "-49", "-16"}));
    // Ctrl+A types the control character, as on Windows.
    EXPECT_EQ(type_keysyms(window, {XK_Control_L, XK_a}), (V{"+17", "+65", "c1", "-65", "-17"}));
    // Alt with a letter is a system key: only Alt comes through.
    EXPECT_EQ(type_keysyms(window, {XK_Alt_L, XK_a}), (V{"+18", "-18"}));
    EXPECT_EQ(type_keysyms(window, {XK_Alt_L, XK_Up}), (V{"+18", "+38", "-38", "-18"}));
    close_all();
}

TEST(Monitors, OneRecordPerRandrCrtc) {
    OsMonitor *table = nullptr;
    i32 count = 0;
    os_get_monitors(&count, &table);
    Display *d = test_display();
    XRRScreenResources *resources = XRRGetScreenResourcesCurrent(d, DefaultRootWindow(d));
    ASSERT_NE(resources, nullptr);
    i32 active = 0;
    for (int i = 0; i < resources->ncrtc; i++) {
        XRRCrtcInfo *crtc = XRRGetCrtcInfo(d, resources, resources->crtcs[i]);
        if (crtc && crtc->mode) active++;
        if (crtc) XRRFreeCrtcInfo(crtc);
    }
    ASSERT_EQ(count, active);
    XRRCrtcInfo *crtc = XRRGetCrtcInfo(d, resources, (RRCrtc)(uintptr_t)table[0].handle);
    ASSERT_NE(crtc, nullptr);
    ASSERT_GE(crtc->noutput, 1);
    XRROutputInfo *output = XRRGetOutputInfo(d, resources, crtc->outputs[0]);
    EXPECT_EQ(std::string(table[0].name.data), std::string(output->name, (size_t)output->nameLen));
    EXPECT_EQ(table[0].width, (i32)crtc->width);
    EXPECT_TRUE(table[0].flags & 1); // the primary comes first
    // No window manager: the work area is the whole monitor.
    EXPECT_EQ(table[0].work_width, table[0].width);
    EXPECT_EQ(table[0].work_height, table[0].height);
    XRRFreeOutputInfo(output);
    XRRFreeCrtcInfo(crtc);
    XRRFreeScreenResources(resources);
}
