#include "hotkey.h"

#include "app.h"
#include "messages.h"

struct NamedKey {
    const char *name;
    u16 key;
};

static const NamedKey named_keys[] = {
    {"space", 0x20}, {"pause", 0x13},  {"printscreen", 0x2C}, {"insert", 0x2D},
    {"home", 0x24},  {"end", 0x23},    {"pageup", 0x21},      {"pagedown", 0x22},
};

static const NamedKey modifier_names[] = {
    {"ctrl", OS_HOTKEY_CTRL}, {"alt", OS_HOTKEY_ALT}, {"shift", OS_HOTKEY_SHIFT}, {"win", OS_HOTKEY_WIN},
};

static char lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

static bool part_is(const char *part, i64 length, const char *name) {
    i64 i = 0;
    for (; i < length; i++)
        if (!name[i] || lower(part[i]) != name[i]) return false;
    return name[i] == 0;
}

// 0 when the part names no key.
static u16 key_code(const char *part, i64 length) {
    if (length == 1) {
        char c = lower(part[0]);
        if (c >= 'a' && c <= 'z') return (u16)(c - 'a' + 'A');
        if (c >= '0' && c <= '9') return (u16)c;
        return 0;
    }
    if ((length == 2 || length == 3) && lower(part[0]) == 'f' && part[1] >= '1' && part[1] <= '9') {
        i32 n = part[1] - '0';
        if (length == 3) {
            if (part[2] < '0' || part[2] > '9') return 0;
            n = n * 10 + (part[2] - '0');
        }
        return n >= 1 && n <= 24 ? (u16)(0x70 + n - 1) : 0;
    }
    for (const NamedKey &named : named_keys)
        if (part_is(part, length, named.name)) return named.key;
    return 0;
}

bool hotkey_parse(StrSlice text, Hotkey *hotkey) {
    Hotkey parsed = {0, 0};
    i64 p = 0;
    for (;;) {
        i64 end = p;
        while (end < text.length && text.data[end] != '+') end++;
        i64 a = p, b = end;
        while (a < b && (text.data[a] == ' ' || text.data[a] == '\t')) a++;
        while (b > a && (text.data[b - 1] == ' ' || text.data[b - 1] == '\t')) b--;
        if (a == b) return false;
        if (end == text.length) {
            parsed.key = key_code(text.data + a, b - a);
            if (!parsed.key) return false;
            *hotkey = parsed;
            return true;
        }
        bool known = false;
        for (const NamedKey &modifier : modifier_names) {
            if (!part_is(text.data + a, b - a, modifier.name)) continue;
            parsed.modifiers |= (u8)modifier.key;
            known = true;
        }
        if (!known) return false;
        p = end + 1;
    }
}

struct HotkeyUse {
    const char *key; // its Config.txt key
    TextBuilder *text;
    i32 id;
    const char *does;
};

static const HotkeyUse hotkey_uses[] = {
    {"record_hotkey", &app.record_hotkey, RECORD_HOTKEY_ID, "starts and stops recording"},
    {"pause_hotkey", &app.pause_hotkey, PAUSE_HOTKEY_ID, "pauses and resumes recording"},
};
static bool registered[sizeof hotkey_uses / sizeof hotkey_uses[0]];

static bool register_one(const HotkeyUse &use) {
    if (use.text->length == 0) return false;
    Hotkey hotkey;
    const char *text = use.text->data;
    if (!hotkey_parse(builder_slice(use.text), &hotkey)) {
        tell_user(MESSAGE_NOTE, false, "%s \"%s\" is not a key combination; running without it.", use.key, text);
        return false;
    }
    i32 result = os_register_hotkey(app.control_window, use.id, hotkey.modifiers, hotkey.key);
    if (result == OS_HOTKEY_TAKEN)
        tell_user(MESSAGE_NOTE, false, "%s %s is held by another program; running without it.", use.key, text);
    else if (result != OS_HOTKEY_REGISTERED)
        tell_user(MESSAGE_NOTE, false, "%s %s could not be registered; running without it.", use.key, text);
    else
        tell_user(MESSAGE_DONE, false, "Hotkey %s %s.", text, use.does);
    return result == OS_HOTKEY_REGISTERED;
}

void hotkey_register(void) {
    for (size_t i = 0; i < sizeof hotkey_uses / sizeof hotkey_uses[0]; i++) registered[i] = register_one(hotkey_uses[i]);
}

void hotkey_unregister(void) {
    for (size_t i = 0; i < sizeof hotkey_uses / sizeof hotkey_uses[0]; i++) {
        if (registered[i]) os_unregister_hotkey(app.control_window, hotkey_uses[i].id);
        registered[i] = false;
    }
}
