#include "config.h"

#include <string.h>

#include "app.h"

static bool is_blank(u8 c) { return c == ' ' || c == '\t'; }

static bool slice_is(const u8 *bytes, i64 length, const char *key) {
    i64 key_length = (i64)strlen(key);
    return length == key_length && memcmp(bytes, key, (size_t)length) == 0;
}

static bool name_removes(u8 c) {
    return c < 0x20 || c > 0x7E || c == '"' || c == '*' || c == '/' || c == ':' || c == '?' ||
           c == '\\' || c == '|';
}

static bool device_removes(u8 c) { return c < 0x20 || c > 0x7E || c == '"' || c == '^'; }

// One pass that gives what removing bytes one by one and re-testing the same
// index would: the kept bytes are always followed by the unread original
// rest, so "followed by a space" looks at the next original byte. Linear, so a
// huge line cannot stall start-up.
static void filter_text(TextBuilder *builder, bool output_name) {
    u8 *data = (u8 *)builder->data;
    i64 length = builder->length, kept = 0;
    for (i64 i = 0; i < length; i++) {
        u8 c = data[i];
        bool remove = output_name ? name_removes(c) || (c == ' ' && i + 1 < length && data[i + 1] == ' ')
                                  : device_removes(c);
        if (!remove) data[kept++] = c;
    }
    builder->length = kept;
    if (output_name && kept == 1 && data[0] == ' ') builder->length = 0;
    data[builder->length] = 0;
}

static void apply_text(TextBuilder *builder, const u8 *value, i64 length, bool output_name) {
    if (!builder->data) *builder = builder_create(256);
    builder_clear(builder);
    builder_append(builder, length, value);
    if (builder->data) filter_text(builder, output_name);
}

static i16 parse_number(const u8 *value, i64 length) {
    bool negative = length > 0 && value[0] == '-';
    u16 n = 0;
    for (i64 i = negative ? 1 : 0; i < length; i++)
        if (value[i] >= '0' && value[i] <= '9') n = (u16)(n * 10u + (u16)(value[i] - '0'));
    return (i16)(negative ? (u16)(0u - n) : n);
}

static bool same_letters(const u8 *value, i64 length, const char *word, i64 word_length) {
    if (length != word_length) return false;
    for (i64 i = 0; i < length; i++)
        if ((value[i] >= 'A' && value[i] <= 'Z' ? value[i] + 32 : value[i]) != word[i]) return false;
    return true;
}

// The index of the word among "a|b|c", or -1.
static i32 choice_index(const char *choices, const u8 *value, i64 length) {
    i32 index = 0;
    for (const char *word = choices;; index++) {
        const char *end = strchr(word, '|');
        i64 word_length = end ? end - word : (i64)strlen(word);
        if (same_letters(value, length, word, word_length)) return index;
        if (!end) return -1;
        word = end + 1;
    }
}

// A dash thickness of thousands of pixels makes frame windows of gigabytes.
enum { DASH_LENGTH_MAX = 1000, DASH_THICKNESS_MAX = 64, NUMBER_LOWEST = -32768, NUMBER_HIGHEST = 32767 };

const ConfigKey config_keys[] = {
    {"output_file_name", CONFIG_FILE_NAME, &app.output_name_template, 0, 0, 0, nullptr},
    {"audio_device_name", CONFIG_TEXT, &app.audio_device, 0, 0, 0, nullptr},
    {"system_sound", CONFIG_CHOICE, &app.system_sound, 0, 0, SYSTEM_SOUND_AUTO, "auto|yes|no"},
    {"frame_dash_length", CONFIG_NUMBER, &app.frame_dash_length, 1, DASH_LENGTH_MAX, 2, nullptr},
    {"frame_dash_thickness", CONFIG_NUMBER, &app.frame_dash_thickness, 1, DASH_THICKNESS_MAX, 1, nullptr},
    {"frame_size_rounding", CONFIG_NUMBER, &app.frame_size_rounding, NUMBER_LOWEST, NUMBER_HIGHEST, 10, nullptr},
    {"record_hotkey", CONFIG_TEXT, &app.record_hotkey, 0, 0, 0, nullptr},
    {"pause_hotkey", CONFIG_TEXT, &app.pause_hotkey, 0, 0, 0, nullptr},
    {"share_copy", CONFIG_CHOICE, &app.share_copy, 0, 0, SHARE_COPY_NONE, "none|mp4|gif"},
    {"share_copy_max_width", CONFIG_NUMBER, &app.share_copy_max_width, 0, NUMBER_HIGHEST, 0, nullptr},
};
const i32 config_key_count = sizeof config_keys / sizeof config_keys[0];

static void set_default(const ConfigKey &key) {
    if (key.kind == CONFIG_NUMBER) *(i16 *)key.value = (i16)key.default_value;
    else if (key.kind == CONFIG_CHOICE) *(u8 *)key.value = (u8)key.default_value;
    else builder_clear((TextBuilder *)key.value);
}

static void apply(const u8 *name, i64 name_length, const u8 *value, i64 value_length) {
    for (const ConfigKey &key : config_keys) {
        if (!slice_is(name, name_length, key.name)) continue;
        if (key.kind == CONFIG_NUMBER) {
            i16 n = parse_number(value, value_length);
            i32 read = key.lowest > 0 ? (i32)(u16)n : (i32)n;
            *(i16 *)key.value = (i16)(read < key.lowest ? key.lowest : read > key.highest ? key.highest : read);
        } else if (key.kind == CONFIG_CHOICE) {
            i32 index = choice_index(key.choices, value, value_length);
            if (index >= 0) *(u8 *)key.value = (u8)index;
        } else {
            apply_text((TextBuilder *)key.value, value, value_length, key.kind == CONFIG_FILE_NAME);
        }
        return;
    }
}

static i64 find(const u8 *bytes, i64 from, i64 length, u8 wanted) {
    const void *at = from < length ? memchr(bytes + from, wanted, (size_t)(length - from)) : nullptr;
    return at ? (const u8 *)at - bytes : -1;
}

void config_load(StrSlice content) {
    for (const ConfigKey &key : config_keys) set_default(key);
    u8 *bytes = (u8 *)content.data;
    i64 n = content.length;
    if (!bytes || n < 1) return;
    // Notepad saves UTF-8 with a byte-order mark, which would end up in the
    // first key's name.
    if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        bytes += 3;
        n -= 3;
    }
    for (i64 i = 0; i < n; i++)
        if (bytes[i] == 13) bytes[i] = 10;

    i64 p = 0;
    while (p < n) {
        while (p < n && is_blank(bytes[p])) p++;
        if (p >= n) return;
        if (bytes[p] == 10) {
            p++;
            continue;
        }
        if (bytes[p] == '#') {
            i64 end = find(bytes, p, n, 10);
            if (end < 0) return;
            p = end + 1;
            continue;
        }
        i64 key = p, e = p;
        while (e < n && bytes[e] != '=' && bytes[e] != 10) e++;
        if (e >= n) return;
        if (bytes[e] == 10) {
            p = e + 1;
            continue;
        }
        i64 key_end = e;
        while (key_end > key && is_blank(bytes[key_end - 1])) key_end--;
        i64 value = e + 1;
        while (value < n && is_blank(bytes[value])) value++;
        if (key_end == key) {
            i64 end = find(bytes, e, n, 10);
            if (end < 0) return;
            p = end + 1;
            continue;
        }
        if (value >= n) return;
        i64 line_end = find(bytes, value, n, 10);
        i64 value_end = line_end < 0 ? n : line_end;
        while (value_end > value && is_blank(bytes[value_end - 1])) value_end--;
        if (value_end > value) apply(bytes + key, key_end - key, bytes + value, value_end - value);
        if (line_end < 0) return;
        p = line_end + 1;
    }
}
