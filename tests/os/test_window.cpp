// Windows, events, monitors, presenting and window operations, driven with
// real input on a real (virtual) display. Shared by both backends; details
// that only one system has are guarded and say why.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <thread>
#include <vector>

#include "event_log.h"
#include "input_driver.h"
#include "os/os.h"
#include "os/os_internal.h" // the monitor fallbacks, which the test display cannot provoke
#include "redirect.h"
#include "slices.h"

#ifdef _WIN32
#include <shlobj.h> // DROPFILES
#include "os/win32/os_w32_window.h" // the style words
#endif




static bool has_event(OsWindow *window, u8 kind) { return !events_of(window, kind).empty(); }

// Windows draws frames itself; on X11 a window manager does, and the test
// display runs none, so there a framed window's outer rectangle is its
// client rectangle.
#ifdef _WIN32
static const bool system_draws_frames = true;
#else
static const bool system_draws_frames = false;
#endif

static const u16 BORDERLESS_BUFFER = OS_WINDOW_BORDERLESS | OS_WINDOW_PIXEL_BUFFER;

// A borderless window with a pixel buffer whose client area is exactly
// (x, y, width, height), with the events of its placement already handled.
static OsWindow *open_at(i32 x, i32 y, i32 width, i32 height, u16 extra = 0) {
    OsWindow *window = os_open_window(width, height, text("test"), BORDERLESS_BUFFER | extra);
    if (!window) return nullptr;
    os_set_window_client_rect(window, x, y, width, height);
    pump_until([&] {
        return window->client_x == x && window->client_y == y && window->client_width == width &&
               window->client_height == height;
    });
    return window;
}

// A window that already has the focus gets no new focus event.
static void focus(OsWindow *window) {
    os_focus_window(window);
    pump_until([&] { return test_has_focus(window); });
}

#ifdef _WIN32
// Windows only: the class is a system object the test can occupy first, and
// this must run before any other window exists in the process.
TEST(WindowClass, AFailedRegistrationIsReportedAndRetried) {
    WNDCLASSW squatter = {};
    squatter.lpfnWndProc = DefWindowProcW;
    squatter.hInstance = GetModuleHandleW(nullptr);
    squatter.lpszClassName = L"brask_sharedWindowClass";
    ASSERT_NE(RegisterClassW(&squatter), 0);
    StdoutCapture capture;
    capture.start();
    OsWindow *refused = os_open_window(50, 50, text(""), BORDERLESS_BUFFER);
    std::string said = capture.finish();
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(said, "* ERROR * Register window class fail\n");
    ASSERT_TRUE(UnregisterClassW(L"brask_sharedWindowClass", GetModuleHandleW(nullptr)));

    OsWindow *window = os_open_window(50, 50, text(""), BORDERLESS_BUFFER);
    ASSERT_NE(window, nullptr);
    WNDCLASSW registered = {};
    ASSERT_TRUE(GetClassInfoW(GetModuleHandleW(nullptr), L"brask_sharedWindowClass", &registered));
    EXPECT_EQ((UINT)registered.style, 0x0023u);
    EXPECT_EQ(registered.hCursor, nullptr); // the shape stays as the program sets it
    close_all();
}
#endif

#ifdef _WIN32
// The style words are the Windows backend's own.
TEST(WindowStyles, RecorderFlagWordsGiveVisibleTopmostPopups) {
    struct Case { u16 flags; u32 style, extended; };
    const Case cases[] = {
        {0xA450, 0x90000000u, 0xA8u}, // region edges
        {0x0450, 0x90000000u, 0x08u}, // control window
        {0x8450, 0x90000000u, 0x88u}, // grab window
        {OS_WINDOW_FIXED_SIZE, 0x10CB0000u, 0},
        {0, 0x10CF0000u, 0},
        {OS_WINDOW_AT_ORIGIN | OS_WINDOW_HIDDEN | OS_WINDOW_LAYERED | OS_WINDOW_APP_WINDOW, 0x80000000u,
         0x000C0000u},
    };
    for (const Case &c : cases) {
        u32 style = 0x12345678u, extended = 0;
        os_w32_window_styles(c.flags, &style, &extended);
        EXPECT_EQ(style, c.style) << std::hex << c.flags;
        EXPECT_EQ(extended, c.extended) << std::hex << c.flags;
    }
    u32 style = 0, extended = 0x1;
    os_w32_window_styles(OS_WINDOW_TOPMOST, &style, &extended);
    EXPECT_EQ(extended, 0x9u); // bits are added to what the caller had
}
#endif

TEST(Windows, RecordsListAndPixelBuffers) {
    i32 count = -1;
    os_get_windows(&count, nullptr, nullptr);
    ASSERT_EQ(count, 0);

    OsWindow *big = os_open_window(500, 500, text("Vornby  |  0.9.2 \xc3\xa5\xe2\x80\x93\xe2\x9c\x93"),
                                   BORDERLESS_BUFFER | OS_WINDOW_TOPMOST);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(test_window_title(big), "Vornby  |  0.9.2 \xc3\xa5\xe2\x80\x93\xe2\x9c\x93");
    EXPECT_EQ(big->flags, BORDERLESS_BUFFER | OS_WINDOW_TOPMOST | OS_WINDOW_OPEN | OS_WINDOW_FOCUSED);
    EXPECT_EQ(big->client_width, 500);
    EXPECT_EQ(big->client_height, 500);
    EXPECT_EQ(big->window_x, big->client_x);
    EXPECT_EQ(big->window_y, big->client_y);
    EXPECT_EQ(big->window_width, 500);
    EXPECT_EQ(big->window_height, 500);
    EXPECT_EQ(big->pixels.width, 500);
    EXPECT_EQ(big->pixels.height, 500);
    EXPECT_EQ(big->pixels.capacity, 1048576);
    EXPECT_NE(big->pixels.pixels, nullptr);

    OsWindow *untitled = os_open_window(120, 80, text(""), OS_WINDOW_FIXED_SIZE);
    ASSERT_NE(untitled, nullptr);
    EXPECT_EQ(test_window_title(untitled), "Window");
    EXPECT_EQ(untitled->client_width, 120);
    EXPECT_EQ(untitled->client_height, 80);
    if (system_draws_frames) {
        EXPECT_GT(untitled->window_width, 120); // framed: the outer rectangle is larger
        EXPECT_GT(untitled->window_height, 80);
    }
    EXPECT_EQ(untitled->pixels.pixels, nullptr);
    EXPECT_EQ(untitled->pixels.capacity, 0);
    EXPECT_FALSE(untitled->flags & OS_WINDOW_PIXEL_BUFFER);

    OsWindow *origin = os_open_window(640, 480, text("o"), OS_WINDOW_AT_ORIGIN | OS_WINDOW_PIXEL_BUFFER);
    ASSERT_NE(origin, nullptr);
    EXPECT_EQ(origin->window_x, 0);
    EXPECT_EQ(origin->window_y, 0);
    EXPECT_EQ(origin->window_width, 100);
    EXPECT_EQ(origin->window_height, 100);
    EXPECT_EQ(origin->pixels.width, origin->client_width);

    i32 capacity = 0;
    OsWindow *fourth = os_open_window(10, 10, text("4"), OS_WINDOW_BORDERLESS);
    os_get_windows(&count, &capacity, nullptr);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(capacity, 4);
    std::vector<OsWindow *> opened = {big, untitled, origin, fourth};
    for (int i = 5; i <= 9; i++) {
        opened.push_back(os_open_window(10, 10, text("n"), OS_WINDOW_BORDERLESS));
        os_get_windows(&count, &capacity, nullptr);
        EXPECT_EQ(count, i);
        EXPECT_EQ(capacity, i <= 8 ? 8 : 16) << i;
    }
    OsWindow **list;
    os_get_windows(&count, nullptr, &list);
    for (i32 i = 0; i < count; i++) EXPECT_EQ(list[i], opened[(size_t)i]);
    close_all();
}

TEST(Events, ButtonsDoubleClicksCaptureAndWheel) {
    events.clear();
    os_set_event_callback(record_event);
    OsWindow *window = open_at(100, 100, 400, 300);
    ASSERT_NE(window, nullptr);
    focus(window);

    // A first press far away, so that earlier presses cannot pair with ours.
    test_mouse_move(120, 120);
    test_mouse_button(OS_MOUSE_LEFT, true);
    test_mouse_button(OS_MOUSE_LEFT, false);
    ASSERT_TRUE(pump_until([&] { return events_of(window, OS_EVENT_MOUSE_BUTTON).size() == 2; }));
    events.clear();

    // The blocking pump returns once the move is queued, having handled it.
    test_mouse_move(300, 250);
    bool arrived = false;
    for (int i = 0; i < 50 && !arrived; i++) {
        ASSERT_GE(os_wait_and_pump_messages(), 1);
        for (const OsEvent &event : events_of(window, OS_EVENT_MOUSE_MOVE))
            arrived |= event.mouse.x == 300 && event.mouse.y == 250;
    }
    ASSERT_TRUE(arrived);
    const u16 sequence[] = {OS_MOUSE_RIGHT, OS_MOUSE_LEFT, OS_MOUSE_LEFT, OS_MOUSE_LEFT, OS_MOUSE_MIDDLE};
    for (u16 code : sequence) {
        test_mouse_button(code, true);
        test_mouse_button(code, false);
    }
    ASSERT_TRUE(pump_until([&] { return events_of(window, OS_EVENT_MOUSE_BUTTON).size() == 10; }));
    std::vector<OsEvent> buttons = events_of(window, OS_EVENT_MOUSE_BUTTON);
    // Right first, then left: a separate memory per button, so not a double.
    const u8 states[] = {1, 0, 1, 0, 2, 0, 1, 0, 1, 0};
    for (size_t i = 0; i < buttons.size(); i++) {
        EXPECT_EQ(buttons[i].button.code, sequence[i / 2]) << i;
        EXPECT_EQ(buttons[i].button.state, states[i]) << i;
        EXPECT_EQ(buttons[i].button.x, 300) << i;
        EXPECT_EQ(buttons[i].button.y, 250) << i;
    }

    // A held button keeps the events with the window outside it. The hand
    // rests between the steps, as the system picks the target on arrival.
    events.clear();
    test_mouse_button(OS_MOUSE_LEFT, true);
    ASSERT_TRUE(pump_until([&] { return has_event(window, OS_EVENT_MOUSE_BUTTON); }));
    test_mouse_move(700, 600);
    ASSERT_TRUE(pump_until([&] {
        for (const OsEvent &event : events_of(window, OS_EVENT_MOUSE_MOVE))
            if (event.mouse.x == 700 && event.mouse.y == 600) return true;
        return false;
    }));
    test_mouse_button(OS_MOUSE_LEFT, false);
    ASSERT_TRUE(pump_until([&] { return events_of(window, OS_EVENT_MOUSE_BUTTON).size() == 2; }));
    std::vector<OsEvent> held = events_of(window, OS_EVENT_MOUSE_BUTTON);
    EXPECT_EQ(held[1].button.state, OS_BUTTON_UP);
    EXPECT_EQ(held[1].button.x, 700);
    EXPECT_EQ(held[1].button.y, 600);

    events.clear();
    test_mouse_move(200, 200);
    test_mouse_wheel(120);
    ASSERT_TRUE(pump_until([&] { return has_event(window, OS_EVENT_MOUSE_WHEEL); }));
    std::vector<OsEvent> wheel = events_of(window, OS_EVENT_MOUSE_WHEEL);
    EXPECT_EQ(wheel[0].wheel.notches, 1);
    EXPECT_EQ(wheel[0].wheel.x, 200);
    EXPECT_EQ(wheel[0].wheel.y, 200);
    events.clear();
    test_mouse_wheel(-240);
    i32 total = 0;
    ASSERT_TRUE(pump_until([&] {
        total = 0;
        for (const OsEvent &event : events_of(window, OS_EVENT_MOUSE_WHEEL)) total += event.wheel.notches;
        return total == -2;
    }));
#ifdef _WIN32
    // Only the Windows wheel has deltas finer than a notch and sends a double
    // turn as one message; X11 wheel "buttons" are one notch each.
    EXPECT_EQ(events_of(window, OS_EVENT_MOUSE_WHEEL).size(), 1u);
    events.clear();
    test_mouse_wheel(60);
    ASSERT_TRUE(pump_until([&] { return has_event(window, OS_EVENT_MOUSE_WHEEL); }));
    EXPECT_EQ(events_of(window, OS_EVENT_MOUSE_WHEEL)[0].wheel.notches, 0);
#endif
    close_all();
}

// The key events of one window as (kind, code, pressed) and its characters.
struct Typed {
    std::vector<std::string> keys;
    std::vector<i32> characters;
};

static Typed typed(OsWindow *window) {
    Typed t;
    for (const OsEvent &event : events) {
        if (event.window != window) continue;
        if (event.kind == OS_EVENT_KEY || event.kind == OS_EVENT_KEY_REPEAT)
            t.keys.push_back(std::string(event.kind == OS_EVENT_KEY ? "key " : "repeat ") +
                             std::to_string(event.key.code) + (event.key.pressed ? " down" : " up"));
        if (event.kind == OS_EVENT_CHAR) t.characters.push_back(event.character);
    }
    return t;
}

TEST(Events, KeysRepeatsAndCharacters) {
    events.clear();
    os_set_event_callback(record_event);
    // Framed, so that a window menu exists which Alt could open.
    OsWindow *window = os_open_window(300, 200, text("keys"), 0);
    ASSERT_NE(window, nullptr);
    focus(window);

    events.clear();
    test_key('A', true);
    test_key('A', true); // held: the system repeats it
    test_key('A', false);
    test_key(13, true);
    test_key(13, false);
    test_key(8, true);
    test_key(8, false);
    test_key(18, true); // Alt alone
    test_key(18, false);
    test_key('B', true); // still a plain key: no menu took the focus
    test_key('B', false);
    ASSERT_TRUE(pump_until([&] { return typed(window).keys.size() == 11; }));
    os_sleep_ms(0);
    os_pump_messages();
    Typed t = typed(window);
    const std::vector<std::string> keys = {"key 65 down", "repeat 65 down", "key 65 up",
                                           "key 13 down", "key 13 up",      "key 8 down",
                                           "key 8 up",    "key 18 down",    "key 18 up",
                                           "key 66 down", "key 66 up"};
    EXPECT_EQ(t.keys, keys);
    // Enter arrives as a line feed; Backspace gives no character.
    const std::vector<i32> characters = {'a', 'a', 10, 'b'};
    EXPECT_EQ(t.characters, characters);
    close_all();
}

TEST(Events, FocusMoveResizeAndClose) {
    events.clear();
    os_set_event_callback(record_event);
    OsWindow *a = open_at(50, 60, 100, 500);
    OsWindow *b = open_at(400, 60, 100, 100);
    OsWindow *c = open_at(600, 60, 100, 100);
    ASSERT_TRUE(a && b && c);

    focus(a);
    events.clear();
    focus(b);
    ASSERT_TRUE(pump_until([&] { return has_event(a, OS_EVENT_FOCUS); }));
    EXPECT_EQ(events_of(a, OS_EVENT_FOCUS).back().focus.gained, 0);
    EXPECT_EQ(events_of(b, OS_EVENT_FOCUS).back().focus.gained, 1);
    EXPECT_FALSE(a->flags & OS_WINDOW_FOCUSED);
    EXPECT_TRUE(b->flags & OS_WINDOW_FOCUSED);

    // 100 x 500 needs 200,000 bytes: 262,144; 100 x 600 fits in the same block.
    EXPECT_EQ(a->pixels.capacity, 262144);
    u32 *block = a->pixels.pixels;
    events.clear();
    os_set_window_client_rect(a, 70, 90, 100, 600);
    ASSERT_TRUE(pump_until([&] { return has_event(a, OS_EVENT_WINDOW_MOVE) && has_event(a, OS_EVENT_WINDOW_RESIZE); }));
    EXPECT_EQ(events_of(a, OS_EVENT_WINDOW_MOVE).back().move.x, 70);
    EXPECT_EQ(events_of(a, OS_EVENT_WINDOW_MOVE).back().move.y, 90);
    EXPECT_EQ(events_of(a, OS_EVENT_WINDOW_RESIZE).back().size.width, 100);
    EXPECT_EQ(events_of(a, OS_EVENT_WINDOW_RESIZE).back().size.height, 600);
    EXPECT_EQ(a->client_x, 70);
    EXPECT_EQ(a->client_y, 90);
    EXPECT_EQ(a->pixels.width, 100);
    EXPECT_EQ(a->pixels.height, 600);
    EXPECT_EQ(a->pixels.capacity, 262144);
    EXPECT_EQ(a->pixels.pixels, block);

    // Growing past the capacity takes the next power of two.
    events.clear();
    os_resize_window_client(a, 300, 400);
    ASSERT_TRUE(pump_until([&] { return has_event(a, OS_EVENT_WINDOW_RESIZE); }));
    EXPECT_EQ(a->pixels.width, 300);
    EXPECT_EQ(a->pixels.height, 400);
    EXPECT_EQ(a->pixels.capacity, 524288);
    // The drawing code may fill the whole new size.
    fill(a, 0xFF123456);

    events.clear();
    StdoutCapture capture;
    capture.start();
    os_destroy_window(b);
    EXPECT_TRUE(pump_until([&] { return has_event(b, OS_EVENT_WINDOW_CLOSE); }));
    os_pump_messages();
    EXPECT_EQ(capture.finish(), ""); // no release step failed along the way
    i32 closes = 0;
    for (const OsEvent &event : events) closes += event.kind == OS_EVENT_WINDOW_CLOSE;
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(b->flags & OS_WINDOW_OPEN);
    EXPECT_FALSE(b->flags & OS_WINDOW_PIXEL_BUFFER);
    EXPECT_EQ(b->pixels.pixels, nullptr);
    EXPECT_EQ(b->pixels.capacity, 0);
    i32 count;
    OsWindow **list;
    os_get_windows(&count, nullptr, &list);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(list[0], a);
    EXPECT_EQ(list[1], c);
    // A closed record stays valid and every operation on it does nothing.
    os_move_window(b, 0, 0, 10, 10);
    os_set_window_decorated(b, true);
    os_present_window(b);
    os_destroy_window(b);
    os_focus_window(nullptr);
    os_pump_messages();
    EXPECT_EQ(b->flags & OS_WINDOW_OPEN, 0);

#ifdef _WIN32
    // A close asked for by the system (Alt+F4 through default handling).
    events.clear();
    focus(c);
    test_key(18, true);
    test_key(115, true);
    test_key(115, false);
    test_key(18, false);
    ASSERT_TRUE(pump_until([&] { return has_event(c, OS_EVENT_WINDOW_CLOSE); }));
    os_pump_messages();
    closes = 0;
    for (const OsEvent &event : events) closes += event.kind == OS_EVENT_WINDOW_CLOSE;
    EXPECT_EQ(closes, 1);
    std::vector<std::string> alt = {"key 18 down"};
    EXPECT_EQ(typed(c).keys.front(), alt.front());
#endif
    close_all();
}

TEST(Present, TheCanvasReachesTheScreen) {
    OsWindow *window = open_at(200, 220, 64, 48);
    ASSERT_NE(window, nullptr);
    Canvas *canvas = &window->pixels;
    for (i32 y = 0; y < 48; y++)
        for (i32 x = 0; x < 64; x++) canvas->pixels[y * 64 + x] = x < 32 ? 0xFFFF0000 : 0xFF0000FF;
    canvas->pixels[5 * 64 + 10] = 0xFF00FF00;
    canvas->pixels[47 * 64 + 63] = 0xFFFFFFFF;
    os_present_window(window);
    EXPECT_TRUE(pump_until([] {
        return test_screen_pixel(201, 221) == 0xFF0000 && test_screen_pixel(240, 221) == 0x0000FF &&
               test_screen_pixel(210, 225) == 0x00FF00 && test_screen_pixel(263, 267) == 0xFFFFFF;
    })) << std::hex << test_screen_pixel(201, 221) << " " << test_screen_pixel(240, 221) << " "
        << test_screen_pixel(210, 225) << " " << test_screen_pixel(263, 267);

    // Without its buffer the window shows nothing new.
    os_free_window_pixels(window);
    EXPECT_FALSE(window->flags & OS_WINDOW_PIXEL_BUFFER);
    EXPECT_EQ(canvas->pixels, nullptr);
    EXPECT_EQ(canvas->width, 0);
    os_present_window(window);
    EXPECT_EQ(os_alloc_window_pixels(window), 16384);
    EXPECT_TRUE(window->flags & OS_WINDOW_PIXEL_BUFFER);
    EXPECT_EQ(canvas->width, 64);
    EXPECT_EQ(canvas->height, 48);
    close_all();
}

TEST(Present, LayeredBlackIsSeeThrough) {
    OsWindow *below = open_at(500, 300, 80, 40);
    ASSERT_NE(below, nullptr);
    fill(below, 0xFFFF0000);
    os_present_window(below);
    ASSERT_TRUE(pump_until([] { return test_screen_pixel(540, 320) == 0xFF0000; }));
    OsWindow *above = open_at(500, 300, 80, 40, OS_WINDOW_LAYERED | OS_WINDOW_TOPMOST);
    ASSERT_NE(above, nullptr);
    for (i32 y = 0; y < 40; y++)
        for (i32 x = 0; x < 80; x++) above->pixels.pixels[y * 80 + x] = x < 40 ? 0xFF000000 : 0xFF00FF00;
    os_present_window(above);
    EXPECT_TRUE(pump_until([] { return test_screen_pixel(520, 320) == 0xFF0000 && test_screen_pixel(560, 320) == 0x00FF00; }))
        << std::hex << test_screen_pixel(520, 320) << " " << test_screen_pixel(560, 320);
    close_all();
}

TEST(WindowOperations, PlacementFollowsTheFormulas) {
    OsWindow *window = os_open_window(500, 500, text("ops"), BORDERLESS_BUFFER);
    ASSERT_NE(window, nullptr);
    os_set_window_client_rect(window, 100, 200, 640, 10);
    ASSERT_TRUE(pump_until([&] {
        return window->client_x == 100 && window->client_y == 200 && window->client_width == 640 &&
               window->client_height == 10;
    })) << window->client_x << "," << window->client_y << " " << window->client_width << "x" << window->client_height;
    EXPECT_EQ(window->window_x, 100);
    EXPECT_EQ(window->window_width, 640);

    os_set_window_client_rect(window, 300, 250, 500, 500);
    ASSERT_TRUE(pump_until([&] { return window->client_width == 500 && window->client_height == 500; }));
    os_set_window_decorated(window, true);
    ASSERT_TRUE(pump_until([&] { return !system_draws_frames || window->window_width > 500; }));
    pump_until([&] { return window->client_x == 300 && window->client_y == 250; });
    EXPECT_FALSE(window->flags & OS_WINDOW_BORDERLESS);
    EXPECT_EQ(window->client_x, 300);
    EXPECT_EQ(window->client_y, 250);
    EXPECT_EQ(window->client_width, 500);
    EXPECT_EQ(window->client_height, 500);
    if (system_draws_frames) {
        EXPECT_LT(window->window_x, 300);
        EXPECT_LT(window->window_y, 250);
        EXPECT_GT(window->window_height, 500);
    }
    // What is presented now lands inside the frame, where the client area is.
    fill(window, 0xFF00FFFF);
    os_present_window(window);
    EXPECT_TRUE(pump_until([] { return test_screen_pixel(302, 252) == 0x00FFFF && test_screen_pixel(797, 747) == 0x00FFFF; }));

    os_set_window_decorated(window, false);
    ASSERT_TRUE(pump_until([&] { return window->window_width == 500; }));
    pump_until([&] { return window->window_x == 300 && window->window_y == 250; });
    EXPECT_TRUE(window->flags & OS_WINDOW_BORDERLESS);
    EXPECT_EQ(window->window_x, 300);
    EXPECT_EQ(window->window_y, 250);
    EXPECT_EQ(window->client_x, 300);
    EXPECT_EQ(window->client_height, 500);

    os_set_window_position(window, 40, 30);
    ASSERT_TRUE(pump_until([&] { return window->window_x == 40 && window->window_y == 30; }));
    os_resize_window(window, 301, 101); // centred on the old rectangle, halves toward zero
    ASSERT_TRUE(pump_until([&] { return window->window_width == 301 && window->window_height == 101; }));
    EXPECT_EQ(window->window_x, 40 - 99);
    EXPECT_EQ(window->window_y, 30 - 199);
    os_set_window_client_position(window, 10, 20);
    ASSERT_TRUE(pump_until([&] { return window->client_x == 10 && window->client_y == 20; }));
    os_move_window(window, 5, 6, 70, 80);
    ASSERT_TRUE(pump_until([&] {
        return window->window_x == 5 && window->window_y == 6 && window->window_width == 70 && window->window_height == 80;
    }));
    EXPECT_EQ(window->pixels.width, 70);
    EXPECT_EQ(window->pixels.height, 80);

    OsMonitor *main_monitor = os_get_main_monitor();
    ASSERT_NE(main_monitor, nullptr);
    os_center_window(window);
    ASSERT_TRUE(pump_until([&] { return window->window_x == main_monitor->work_width / 2 - 35; }));
    EXPECT_EQ(window->window_y, main_monitor->work_height / 2 - 40);

    StdoutCapture capture;
    capture.start();
    os_toggle_window_fullscreen(window);
    EXPECT_EQ(capture.finish(), "* TODO * os_toggle_window_fullscreen\n");
    EXPECT_EQ(window->window_width, 70);
    close_all();
}

TEST(WindowOperations, TopmostMinimiseAndHide) {
    events.clear();
    os_set_event_callback(record_event);
    OsWindow *window = open_at(100, 100, 200, 100, OS_WINDOW_TOPMOST);
    ASSERT_NE(window, nullptr);
    os_set_window_topmost(window, true); // already topmost: nothing
    EXPECT_TRUE(window->flags & OS_WINDOW_TOPMOST);
    os_set_window_topmost(window, false);
    EXPECT_FALSE(window->flags & OS_WINDOW_TOPMOST);
#ifdef _WIN32
    // The system's own record of the band (X11 keeps it with the window manager).
    EXPECT_FALSE(GetWindowLongW((HWND)window->handle, GWL_EXSTYLE) & WS_EX_TOPMOST);
    os_set_window_topmost(window, true);
    EXPECT_TRUE(GetWindowLongW((HWND)window->handle, GWL_EXSTYLE) & WS_EX_TOPMOST);

    // Minimising needs a system that iconifies; Xvfb has no window manager.
    events.clear();
    os_minimize_window(window);
    ASSERT_TRUE(pump_until([&] { return window->client_width == 0; }));
    EXPECT_EQ(events_of(window, OS_EVENT_WINDOW_RESIZE).back().size.width, 0);
    EXPECT_EQ(events_of(window, OS_EVENT_WINDOW_RESIZE).back().size.height, 0);
    EXPECT_EQ(window->pixels.width, 0);
    EXPECT_EQ(window->pixels.height, 0);
    EXPECT_EQ(window->pixels.capacity, 131072);
    EXPECT_TRUE(window->flags & OS_WINDOW_OPEN);
    os_present_window(window);
    os_restore_window(window);
    ASSERT_TRUE(pump_until([&] { return window->client_width == 200; }));
    EXPECT_EQ(window->pixels.height, 100);

    os_hide_window(window);
    EXPECT_FALSE(IsWindowVisible((HWND)window->handle));
    os_show_window(window);
    EXPECT_TRUE(IsWindowVisible((HWND)window->handle));
#endif
    close_all();
}

// Pumps for a while; for what must not happen, which has no event to wait for.
static void pump_for(int milliseconds) {
    for (i64 end = os_time_milliseconds() + milliseconds; os_time_milliseconds() < end;) {
        os_pump_messages();
        os_sleep_ms(5);
    }
}

TEST(WindowOperations, TopmostAndFrameChangesKeepTheFocusAndTheVisibility) {
    OsWindow *typing = open_at(100, 100, 200, 100);
    OsWindow *other = open_at(400, 100, 200, 100);
    ASSERT_TRUE(typing && other);
    focus(typing);
    os_set_window_topmost(other, true);
    os_set_window_decorated(other, true);
    pump_for(300);
    EXPECT_TRUE(test_has_focus(typing)) << "a topmost or frame change took the keyboard focus";
    EXPECT_FALSE(other->flags & OS_WINDOW_FOCUSED);
#ifdef _WIN32
    EXPECT_EQ(GetForegroundWindow(), (HWND)typing->handle);
    // Created hidden and shown later: a frame change keeps it on screen; a
    // hidden window stays hidden.
    OsWindow *late = os_open_window(120, 80, text("late"), OS_WINDOW_HIDDEN);
    ASSERT_NE(late, nullptr);
    os_show_window(late);
    os_set_window_decorated(late, false);
    EXPECT_TRUE(IsWindowVisible((HWND)late->handle));
    os_hide_window(late);
    os_set_window_decorated(late, true);
    EXPECT_FALSE(IsWindowVisible((HWND)late->handle));
#endif
    close_all();
}

#ifdef _WIN32
TEST(Events, AWaitReturnsForAMessageThatCameDuringThePump) {
    OsWindow *window = open_at(100, 100, 50, 50);
    ASSERT_NE(window, nullptr);
    // The pump's zero wait (Wine's drawing needs it) looks at the queue after
    // a message came; a later WaitMessage would sleep on with it queued.
    PostMessageW((HWND)window->handle, WM_NULL, 0, 0);
    MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0);
    // Should the wait hang, a message 5 s later ends it and the time shows it.
    HWND target = (HWND)window->handle;
    std::thread rescue([target] {
        Sleep(5000);
        PostMessageW(target, WM_NULL, 0, 0);
    });
    i64 start = os_time_milliseconds();
    EXPECT_GE(os_wait_and_pump_messages(), 1);
    EXPECT_LT(os_time_milliseconds() - start, 2500);
    rescue.join();
    close_all();
}
#endif

TEST(Cursor, PositionShapeAndVisibility) {
    OsWindow *window = open_at(100, 100, 200, 200);
    ASSERT_NE(window, nullptr);
    test_mouse_move(150, 170);
    i32 x = -5, y = -5;
    ASSERT_TRUE(pump_until([&] {
        os_get_cursor_position(&x, &y);
        return x == 150 && y == 170;
    })) << x << "," << y;

    EXPECT_LT(os_hide_cursor(), 0);
    os_hide_cursor();
    EXPECT_LT(os_hide_cursor(), 0);
    EXPECT_GE(os_show_cursor(), 0); // one call undoes any number of hides

#ifdef _WIN32
    // Only Windows has a current-cursor query; X11 cursors are per window.
    os_set_cursor(OS_CURSOR_HAND);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));
    os_set_cursor(OS_CURSOR_RESIZE_NESW);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32643)));
    os_set_cursor(40); // out of the table: unchanged
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32643)));
    os_set_cursor(OS_CURSOR_NONE);
    EXPECT_EQ(GetCursor(), nullptr);
    os_set_cursor(13);
    EXPECT_EQ(GetCursor(), nullptr);
#endif
    os_set_cursor(OS_CURSOR_ARROW);
    close_all();
}

TEST(Monitors, TableIsRebuiltAndTheMainMonitorIsTheFirst) {
    OsMonitor *main_monitor = os_get_main_monitor();
    i32 count = 0, again = 0;
    OsMonitor *table = nullptr;
    StdoutCapture capture;
    capture.start();
    os_get_monitors(&count, &table);
    std::string said = capture.finish();
    os_get_monitors(&again, nullptr);
    ASSERT_GE(count, 1);
    EXPECT_EQ(again, count); // rebuilt, not appended to
    EXPECT_EQ(main_monitor, table);
    EXPECT_EQ(os_get_main_monitor(), table);
    // The test display is one 1920 x 1080 screen.
    EXPECT_EQ(table[0].x, 0);
    EXPECT_EQ(table[0].y, 0);
    EXPECT_EQ(table[0].width, 1920);
    EXPECT_EQ(table[0].height, 1080);
    EXPECT_TRUE(table[0].flags & 1);
    EXPECT_GT(table[0].work_width, 0);
    EXPECT_LE(table[0].work_width, 1920);
    ASSERT_NE(table[0].name.data, nullptr);
    EXPECT_GT(table[0].name.length, 0);
    EXPECT_EQ(table[0].name.data[table[0].name.length], 0);
    EXPECT_GE(table[0].refresh_rate, 2);
#ifdef _WIN32
    // What the display mode itself says (Wine on Xvfb says 0): below 2 means
    // "hardware default", which becomes 60 with one warning.
    DEVMODEW mode = {};
    mode.dmSize = sizeof mode;
    ASSERT_TRUE(EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    if (mode.dmDisplayFrequency < 2) {
        EXPECT_EQ(table[0].refresh_rate, 60);
        EXPECT_EQ(said, "* WARNING * Failed to get monitor refresh rate. Defaulting to 60.\n");
    } else {
        EXPECT_EQ(table[0].refresh_rate, (i32)mode.dmDisplayFrequency);
        EXPECT_EQ(said, "");
    }
#endif
}

TEST(Monitors, RecordsAndNamesTakenEarlierStayValid) {
    i32 count = 0;
    OsMonitor *table = nullptr;
    os_get_monitors(&count, &table);
    ASSERT_GE(count, 1);
    OsMonitor *main_monitor = os_get_main_monitor();
    OsMonitor kept = table[0];
    std::string name(kept.name.data, (size_t)kept.name.length);
    // Free blocks of the name's size waiting in the heap, so a name freed and
    // copied again would land elsewhere.
    std::vector<void *> blocks;
    for (int round = 0; round < 3; round++) {
        for (int i = 0; i < 16; i++) blocks.push_back(os_alloc((u32)kept.name.length + 1));
        for (void *block : blocks) os_free(block);
        blocks.clear();
        i32 again = 0;
        OsMonitor *rebuilt = nullptr;
        os_get_monitors(&again, &rebuilt);
        // The layout did not change: the same table, records and names.
        EXPECT_EQ(rebuilt, table);
        EXPECT_EQ(os_get_main_monitor(), main_monitor);
        EXPECT_EQ(table[0].name.data, kept.name.data);
        EXPECT_EQ(std::string(main_monitor->name.data, (size_t)main_monitor->name.length), name);
        EXPECT_EQ(memcmp(&table[0], &kept, sizeof kept), 0);
    }
}

#ifdef _WIN32
// Windows only: a drop arrives as the shell's drop record, which the test can
// build and post itself (X11 drops go through the XDND protocol instead).
TEST(Events, DroppedFilesBecomeAUtf8List) {
    events.clear();
    os_set_event_callback(record_event);
    OsWindow *window = open_at(100, 100, 200, 200);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(GetWindowLongW((HWND)window->handle, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    const wchar_t names[] = L"C:\\a\\x.txt\0C:\\b\\\x00e5.png\0";
    HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + sizeof names);
    DROPFILES *drop = (DROPFILES *)GlobalLock(block);
    drop->pFiles = sizeof(DROPFILES);
    drop->pt.x = 5;
    drop->pt.y = 7;
    drop->fWide = TRUE;
    memcpy(drop + 1, names, sizeof names);
    GlobalUnlock(block);
    PostMessageW((HWND)window->handle, WM_DROPFILES, (WPARAM)block, 0);
    ASSERT_TRUE(pump_until([&] { return has_event(window, OS_EVENT_DROP_FILES); }));
    OsEvent dropped = events_of(window, OS_EVENT_DROP_FILES)[0];
    EXPECT_EQ(dropped.drop.count, 2);
    EXPECT_EQ(dropped.drop.x, 5);
    EXPECT_EQ(dropped.drop.y, 7);
    const char expected[] = "C:/a/x.txt\0C:/b/\xc3\xa5.png\0"; // plus the literal's own NUL
    EXPECT_EQ(std::string(dropped.drop.files, sizeof expected), std::string(expected, sizeof expected));
    close_all();
}

// Windows only: raw input registration is a Windows service; X11 has none.
TEST(Events, RawMouseFollowsTheFocus) {
    OsWindow *wanting = open_at(100, 100, 100, 100);
    OsWindow *other = open_at(300, 100, 100, 100);
    ASSERT_TRUE(wanting && other);
    wanting->raw_input = OS_RAW_MOUSE_WANTED;
    focus(other);
    focus(wanting);
    EXPECT_EQ(wanting->raw_input, OS_RAW_MOUSE_WANTED | OS_RAW_MOUSE_ACTIVE | OS_RAW_MOUSE_REGISTERED);
    RAWINPUTDEVICE devices[4];
    UINT count = 4;
    ASSERT_EQ(GetRegisteredRawInputDevices(devices, &count, sizeof devices[0]), 1u);
    EXPECT_EQ(devices[0].usUsagePage, 1);
    EXPECT_EQ(devices[0].usUsage, 2);
    EXPECT_EQ(devices[0].hwndTarget, (HWND)wanting->handle);
    focus(other);
    EXPECT_EQ(wanting->raw_input, OS_RAW_MOUSE_WANTED);
    count = 4;
    EXPECT_EQ(GetRegisteredRawInputDevices(devices, &count, sizeof devices[0]), 0u);
    close_all();
}
#endif

// A display mode without a rate or a size, which no test display gives.
TEST(Monitors, FallbacksFillWhatTheSystemLeftOut) {
    OsMonitor monitor = {};
    monitor.refresh_rate = 1;
    StdoutCapture capture;
    capture.start();
    os_monitor_fallbacks(&monitor, 800, 600);
    std::string said = capture.finish();
    EXPECT_EQ(said, "* WARNING * Failed to get monitor refresh rate. Defaulting to 60.\n");
    EXPECT_EQ(monitor.refresh_rate, 60);
    EXPECT_EQ(monitor.width, 800);
    EXPECT_EQ(monitor.height, 600);

    OsMonitor sized = {};
    sized.refresh_rate = 59;
    sized.width = 1024;
    StdoutCapture again;
    again.start();
    os_monitor_fallbacks(&sized, 0, 0);
    said = again.finish();
    EXPECT_EQ(said, "* WARNING * Failed to get monitor size.\n");
    EXPECT_EQ(sized.refresh_rate, 59);
}

// The client operations size the client area, frame or no frame.
TEST(WindowOperations, ClientOperationsOnAFramedWindow) {
    OsWindow *window = os_open_window(200, 100, text("framed"), OS_WINDOW_PIXEL_BUFFER);
    ASSERT_NE(window, nullptr);
    os_set_window_client_rect(window, 400, 300, 320, 240);
    EXPECT_TRUE(pump_until([&] {
        return window->client_x == 400 && window->client_y == 300 && window->client_width == 320 &&
               window->client_height == 240;
    })) << window->client_x << "," << window->client_y << " " << window->client_width << "x"
        << window->client_height;
    os_resize_window_client(window, 300, 200);
    EXPECT_TRUE(pump_until([&] { return window->client_width == 300 && window->client_height == 200; }))
        << window->client_width << "x" << window->client_height;
    EXPECT_EQ(window->pixels.width, 300);
    // Shifted by half the change, toward the top left when shrinking (the
    // position terms are kept exactly as the formulas give them).
    EXPECT_EQ(window->client_x, 390);
    EXPECT_EQ(window->client_y, 280);
    close_all();
}
