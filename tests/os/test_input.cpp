// The input tracker fed with event records, and synthetic input injected
// into the real system and seen by a real window's events.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <utility>
#include <vector>

#include "event_log.h"
#include "input_driver.h"
#include "os/os.h"
#include "os/os_internal.h"

static StrSlice S(const char *text) { return StrSlice{(i64)strlen(text), (char *)text}; }

//~ Tracker

static OsEvent key_event(u8 kind, u16 code, bool pressed) {
    OsEvent event = {};
    event.kind = kind;
    event.key.code = code;
    event.key.pressed = pressed ? 1 : 0;
    return event;
}

static OsEvent button_event(u16 code, u8 state, i32 x, i32 y) {
    OsEvent event = {};
    event.kind = OS_EVENT_MOUSE_BUTTON;
    event.button.code = code;
    event.button.state = state;
    event.button.x = x;
    event.button.y = y;
    return event;
}

static u32 occurrences(const InputChangeList *list, u32 from, u16 slot) {
    u32 n = 0;
    for (u32 i = from; i < list->count; i++) n += list->slots[i] == slot;
    return n;
}

TEST(InputTracker, ARepeatedKeyIsPressedAndRepeatedAndListedTwice) {
    OsEvent first = key_event(OS_EVENT_KEY, 'Q', true);
    os_input_track_event(&first);
    InputTable *table = os_input_table();
    ASSERT_NE(table, nullptr);
    InputChangeList *keys = os_input_key_changes();
    u32 before = keys->count - 1;
    OsEvent repeat = key_event(OS_EVENT_KEY_REPEAT, 'Q', true);
    os_input_track_event(&repeat);

    InputSlot *q = &table->slots['Q'];
    EXPECT_EQ(q->changes, INPUT_PRESSED | INPUT_REPEATED);
    EXPECT_EQ(q->event_count, 2);
    EXPECT_EQ(q->value, 1.0f);
    EXPECT_EQ(occurrences(keys, before, 'Q'), 2u);
    EXPECT_EQ(keys->slots[keys->count - 1], 'Q');

    u64 pressed_at = q->press_time;
    OsEvent up = key_event(OS_EVENT_KEY, 'Q', false);
    os_input_track_event(&up);
    EXPECT_EQ(q->changes, INPUT_PRESSED | INPUT_REPEATED | INPUT_RELEASED);
    EXPECT_EQ(q->value, 0.0f);
    EXPECT_GE(q->release_time, pressed_at);
    EXPECT_GT(q->release_time, 0u);

    // Other kinds leave the table alone.
    OsEvent character = {};
    character.kind = OS_EVENT_CHAR;
    character.character = 'Q';
    u32 count = keys->count;
    os_input_track_event(&character);
    EXPECT_EQ(keys->count, count);
    EXPECT_EQ(q->event_count, 3);
}

TEST(InputTracker, ADoubleClickIsAPressAndButtonsKeepTheirPositions) {
    OsEvent down = button_event(OS_MOUSE_RIGHT, OS_BUTTON_DOWN, 10, 20);
    OsEvent up = button_event(OS_MOUSE_RIGHT, OS_BUTTON_UP, 11, 21);
    OsEvent twice = button_event(OS_MOUSE_RIGHT, OS_BUTTON_DOUBLE, 12, 22);
    os_input_track_event(&down);
    os_input_track_event(&up);
    InputSlot *right = &os_input_table()->slots[OS_MOUSE_RIGHT];
    right->changes = 0; // a consumer's per-frame reset
    os_input_track_event(&twice);
    EXPECT_EQ(right->changes, INPUT_PRESSED);
    EXPECT_EQ(right->value, 1.0f);
    EXPECT_EQ(right->press_data[0], 12.0f);
    EXPECT_EQ(right->press_data[1], 22.0f);
    EXPECT_EQ(right->release_data[0], 11.0f);
    EXPECT_EQ(right->release_data[1], 21.0f);

    // Still down: a second double click counts as a repeat.
    os_input_track_event(&twice);
    EXPECT_EQ(right->changes, INPUT_PRESSED | INPUT_REPEATED);
}

TEST(InputTracker, AxesKeepTheirPreviousValueAndTheButtonsSeeThePosition) {
    OsEvent move = {};
    move.kind = OS_EVENT_MOUSE_MOVE;
    move.mouse.x = 100;
    move.mouse.y = -5;
    os_input_track_event(&move);
    InputChangeList *axes = os_input_axis_changes();
    u32 before = axes->count;
    move.mouse.x = 130;
    move.mouse.y = 7;
    os_input_track_event(&move);
    OsEvent wheel = {};
    wheel.kind = OS_EVENT_MOUSE_WHEEL;
    wheel.wheel.notches = -2;
    os_input_track_event(&wheel);

    InputTable *table = os_input_table();
    InputSlot *position = &table->slots[OS_INPUT_MOUSE_POSITION];
    EXPECT_EQ(position->previous_data[0], 100.0f);
    EXPECT_EQ(position->previous_data[1], -5.0f);
    EXPECT_EQ(position->press_data[0], 130.0f);
    EXPECT_EQ(position->value, 0.0f); // axes have no value
    EXPECT_TRUE(position->changes & INPUT_PRESSED);
    EXPECT_EQ(table->slots[OS_INPUT_WHEEL].press_data[1], -2.0f);
    ASSERT_EQ(axes->count, before + 2);
    EXPECT_EQ(axes->slots[before], OS_INPUT_MOUSE_POSITION);
    EXPECT_EQ(axes->slots[before + 1], OS_INPUT_WHEEL);

    for (u16 slot = OS_MOUSE_LEFT; slot <= OS_INPUT_WHEEL; slot++)
        EXPECT_EQ(table->slots[slot].linked_data, position->press_data);
    for (u16 slot = 265; slot <= 268; slot++) EXPECT_EQ(table->slots[slot].linked_data, table->slots[269].press_data);
    EXPECT_EQ(table->slots[264].linked_data, nullptr);
    EXPECT_EQ(table->slots['A'].linked_data, nullptr);
}

TEST(InputTracker, ListsGrowWithoutLosingEntries) {
    OsEvent first = key_event(OS_EVENT_KEY, 'G', true);
    os_input_track_event(&first);
    InputChangeList *keys = os_input_key_changes();
    u32 start = keys->count;
    u32 initial = keys->capacity;
    for (int i = 0; i < 300; i++) {
        OsEvent event = key_event(OS_EVENT_KEY, (u16)(i % 2 ? 'G' : 'H'), i % 4 < 2);
        os_input_track_event(&event);
    }
    ASSERT_EQ(keys->count, start + 300);
    EXPECT_GT(keys->capacity, initial);
    EXPECT_EQ(keys->capacity & (keys->capacity - 1), 0u); // doubled from 32
    for (u32 i = 0; i < 300; i++) EXPECT_EQ(keys->slots[start + i], i % 2 ? 'G' : 'H') << i;
    EXPECT_EQ(os_input_table()->slots['G'].event_count, (u8)(151 % 256));

    EXPECT_EQ(os_input_grow_capacity(32, 32), 64u);
    EXPECT_EQ(os_input_grow_capacity(64, 500), 512u);
    EXPECT_EQ(os_input_grow_capacity(0x400000, 0x400000), 0x800000u);       // 2x would pass 0x7FFFFF
    EXPECT_EQ(os_input_grow_capacity(0x600000, 0x600000), 0xA00000u);       // + 0x400000 instead
    EXPECT_EQ(os_input_grow_capacity(0x200000, 0x900000), 0xC00000u);       // doubling, then adding
    EXPECT_EQ(os_input_grow_capacity(0xFFF00000u, 0xFFF00000u), 0u);        // no 32-bit block is that big
}

//~ Synthetic input seen by a real window

static bool left_down_at_press, left_down_at_release;

static void record(OsEvent *event) {
    events.push_back(*event);
    if (event->kind == OS_EVENT_MOUSE_BUTTON && event->button.code == OS_MOUSE_LEFT) {
        bool down = os_get_mouse_button_state(OS_MOUSE_LEFT);
        if (event->button.state == OS_BUTTON_UP) left_down_at_release = down;
        else left_down_at_press = down;
    }
}

typedef std::vector<std::pair<u16, u8>> Keys;

static Keys keys_of(OsWindow *window) {
    Keys keys;
    for (const OsEvent &event : events)
        if (event.window == window && (event.kind == OS_EVENT_KEY || event.kind == OS_EVENT_KEY_REPEAT))
            keys.push_back({event.key.code, event.key.pressed});
    return keys;
}

static std::string show(const Keys &keys) {
    std::string text;
    char item[16];
    for (auto &key : keys) {
        snprintf(item, sizeof item, "%02X%c ", key.first, key.second ? 'v' : '^');
        text += item;
    }
    return text;
}

class Injected : public testing::Test {
protected:
    OsWindow *window = nullptr;

    void SetUp() override {
        events.clear();
        os_set_event_callback(record);
        window = os_open_window(200, 150, S("input"), OS_WINDOW_BORDERLESS | OS_WINDOW_PIXEL_BUFFER);
        ASSERT_NE(window, nullptr);
        os_set_window_client_rect(window, 300, 200, 200, 150);
        ASSERT_TRUE(pump_until([&] { return window->client_x == 300 && window->client_width == 200; }));
        os_focus_window(window);
        ASSERT_TRUE(pump_until([&] { return test_has_focus(window); }));
    }

    void TearDown() override {
        os_destroy_window(window);
        pump_until([&] { return !(window->flags & OS_WINDOW_OPEN); });
        os_set_event_callback(nullptr);
    }

    // Types text, then a marker key (Escape) that ends what the window sees.
    Keys typed(const char *text) {
        events.clear();
        os_send_text(text);
        os_send_key_down(27);
        os_send_key_up(27);
        bool ended = pump_until([&] {
            Keys keys = keys_of(window);
            return !keys.empty() && keys.back() == std::pair<u16, u8>(27, 0);
        });
        EXPECT_TRUE(ended) << show(keys_of(window));
        Keys keys = keys_of(window);
        if (keys.size() >= 2) keys.resize(keys.size() - 2);
        return keys;
    }
};

TEST_F(Injected, TypedTextGivesTheLayoutsKeySequence) {
    EXPECT_EQ(show(typed("Hi")), show({{0x10, 1}, {'H', 1}, {'H', 0}, {0x10, 0}, {'I', 1}, {'I', 0}}));
    // Tilde: AltGr on the dead key, then Space to make it a character.
    EXPECT_EQ(show(typed("~")),
              show({{0x11, 1}, {0x12, 1}, {0xBA, 1}, {0xBA, 0}, {0x20, 1}, {0x20, 0}, {0x11, 0}, {0x12, 0}}));
    // AltGr stays held between two characters that both need it.
    EXPECT_EQ(show(typed("{}")),
              show({{0x11, 1}, {0x12, 1}, {0x37, 1}, {0x37, 0}, {0x30, 1}, {0x30, 0}, {0x11, 0}, {0x12, 0}}));
    // A byte above 126 types nothing but lets go of Shift.
    EXPECT_EQ(show(typed("A\x80")), show({{0x10, 1}, {'A', 1}, {'A', 0}, {0x10, 0}}));
    EXPECT_EQ(show(typed("7 ")), show({{'7', 1}, {'7', 0}, {0x20, 1}, {0x20, 0}}));
}

TEST_F(Injected, KeysOutsideTheListAreNotSent) {
    events.clear();
    os_send_key_down(8);   // Backspace
    os_send_key_up(8);
    os_send_key_down(112); // F1
    os_send_key_up(112);
    os_send_key_down(0xBA); // accepted only inside typed text
    os_send_key_up(0xBA);
    os_send_key_down('K');
    os_send_key_up('K');
    ASSERT_TRUE(pump_until([&] { return keys_of(window).size() >= 2; }));
    EXPECT_EQ(show(keys_of(window)), show({{'K', 1}, {'K', 0}}));
}

// Ctrl+Shift+K pressed twice, the first time held so that it repeats, then
// Escape as the marker that everything before it has arrived.
static void press_hotkey_twice(void) {
    os_send_key_down(0x11);
    os_send_key_down(0x10);
    for (int i = 0; i < 3; i++) os_send_key_down('K');
    os_send_key_up('K');
    os_send_key_down('K');
    os_send_key_up('K');
    os_send_key_up(0x10);
    os_send_key_up(0x11);
    os_send_key_down(27);
    os_send_key_up(27);
}

TEST_F(Injected, HotkeyComesOncePerPressUntilUnregistered) {
    events.clear();
    const u8 modifiers = OS_HOTKEY_CTRL | OS_HOTKEY_SHIFT;
    ASSERT_EQ(os_register_hotkey(window, 7, modifiers, 'K'), OS_HOTKEY_REGISTERED);
#ifdef _WIN32
    // A combination can have one owner only; X lets the same client grab twice.
    EXPECT_EQ(os_register_hotkey(window, 8, modifiers, 'K'), OS_HOTKEY_TAKEN);
#endif
    auto escape_up = [&] {
        Keys keys = keys_of(window);
        return !keys.empty() && keys.back() == std::pair<u16, u8>(27, 0);
    };
    press_hotkey_twice();
    ASSERT_TRUE(pump_until(escape_up));
    std::vector<OsEvent> hotkeys = events_of(window, OS_EVENT_HOTKEY);
#ifdef _WIN32
    // Wine ignores MOD_NOREPEAT (Windows drops the repeats itself), so there
    // the held key's repeats arrive as well.
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
        ASSERT_EQ(hotkeys.size(), 4u);
        hotkeys.resize(2);
    }
#endif
    ASSERT_EQ(hotkeys.size(), 2u);
    EXPECT_EQ(hotkeys[0].hotkey.id, 7);
    EXPECT_EQ(hotkeys[1].hotkey.id, 7);

    os_unregister_hotkey(window, 7);
    events.clear();
    press_hotkey_twice();
    ASSERT_TRUE(pump_until(escape_up));
    EXPECT_EQ(events_of(window, OS_EVENT_HOTKEY).size(), 0u);
    // The key reaches the focused window again instead.
    EXPECT_NE(show(keys_of(window)).find("4Bv"), std::string::npos) << show(keys_of(window));
}

TEST_F(Injected, MouseMovesAndClicksArriveWhereSent) {
    i32 width = 0, height = 0;
    OsMonitor *main = os_get_main_monitor();
    ASSERT_NE(main, nullptr);
    width = main->width;
    height = main->height;
    // The normalised point whose pixel is (350, 260), inside the window.
    os_send_mouse_move_absolute((i32)((350 * 65536 + width - 1) / width), (i32)((260 * 65536 + height - 1) / height));
    i32 x = -1, y = -1;
    ASSERT_TRUE(pump_until([&] {
        os_get_cursor_position(&x, &y);
        return x == 350 && y == 260;
    })) << x << "," << y;
    // Relative moves pass through the system's pointer ballistics (Windows
    // doubles deltas above a threshold): only the direction and the order of
    // size are the caller's.
    os_send_mouse_move(5, 3);
    ASSERT_TRUE(pump_until([&] {
        os_get_cursor_position(&x, &y);
        return x >= 355 && x <= 375 && y >= 263 && y <= 275;
    })) << x << "," << y;

    events.clear();
    std::vector<OsEvent> buttons;
    auto buttons_reach = [&](size_t count) {
        return pump_until([&] {
            buttons.clear();
            for (const OsEvent &event : events)
                if (event.kind == OS_EVENT_MOUSE_BUTTON) buttons.push_back(event);
            return buttons.size() >= count;
        });
    };
    // One at a time: X answers the button query with the state of now, not
    // of the event being handled.
    os_send_mouse_down(OS_MOUSE_LEFT);
    ASSERT_TRUE(buttons_reach(1));
    os_send_mouse_up(OS_MOUSE_LEFT);
    ASSERT_TRUE(buttons_reach(2));
    os_send_mouse_down(OS_MOUSE_RIGHT);
    os_send_mouse_up(OS_MOUSE_RIGHT);
    os_send_mouse_down(263); // not a button: nothing
    ASSERT_TRUE(buttons_reach(4));
    ASSERT_EQ(buttons.size(), 4u);
    EXPECT_EQ(buttons[0].button.code, OS_MOUSE_LEFT);
    EXPECT_NE(buttons[0].button.state, OS_BUTTON_UP);
    EXPECT_EQ(buttons[0].button.x, x);
    EXPECT_EQ(buttons[0].button.y, y);
    EXPECT_EQ(buttons[1].button.state, OS_BUTTON_UP);
    EXPECT_EQ(buttons[2].button.code, OS_MOUSE_RIGHT);
    EXPECT_EQ(buttons[3].button.code, OS_MOUSE_RIGHT);
    EXPECT_TRUE(left_down_at_press);
    EXPECT_FALSE(left_down_at_release);
    EXPECT_TRUE(os_get_mouse_button_state(65)); // not a button
    EXPECT_FALSE(os_get_mouse_button_state(OS_MOUSE_RIGHT));
}

TEST_F(Injected, RawMouseRegistersAtOnceAndDisablingClearsEveryWindow) {
    OsWindow *other = os_open_window(50, 50, S("other"), OS_WINDOW_BORDERLESS);
    ASSERT_NE(other, nullptr);
    os_enable_raw_mouse(window);
    EXPECT_EQ(window->raw_input, OS_RAW_MOUSE_WANTED | OS_RAW_MOUSE_ACTIVE | OS_RAW_MOUSE_REGISTERED);
#ifdef _WIN32
    RAWINPUTDEVICE devices[4];
    UINT count = 4;
    ASSERT_EQ(GetRegisteredRawInputDevices(devices, &count, sizeof devices[0]), 1u);
    EXPECT_EQ(devices[0].usUsagePage, 1);
    EXPECT_EQ(devices[0].usUsage, 2);
    EXPECT_EQ(devices[0].hwndTarget, (HWND)window->handle);
    EXPECT_TRUE(devices[0].dwFlags & RIDEV_INPUTSINK);
#endif
    other->raw_input |= OS_RAW_MOUSE_REGISTERED; // as if it had registered before
    os_disable_raw_mouse(window);
    EXPECT_EQ(window->raw_input, 0);
    EXPECT_EQ(other->raw_input, 0);
#ifdef _WIN32
    count = 4;
    EXPECT_EQ(GetRegisteredRawInputDevices(devices, &count, sizeof devices[0]), 0u);
#endif
    // A closed window is left alone.
    os_destroy_window(other);
    pump_until([&] { return !(other->flags & OS_WINDOW_OPEN); });
    os_enable_raw_mouse(other);
    EXPECT_EQ(other->raw_input, 0);
}
