#include "config.h"

#include <string.h>

#include "app.h"
#include "share_copy.h"

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

// A dash thickness of thousands of pixels makes frame windows of gigabytes;
// the value is read as the unsigned word it is stored in, so -1 is 65535.
enum { DASH_LENGTH_MAX = 1000, DASH_THICKNESS_MAX = 64 };

static i16 drawable(i16 value, i32 largest) {
    i32 n = (u16)value;
    return (i16)(n < 1 ? 1 : n > largest ? largest : n);
}

static bool same_letters(const u8 *value, i64 length, const char *word) {
    i64 i = 0;
    for (; i < length && word[i]; i++)
        if ((value[i] >= 'A' && value[i] <= 'Z' ? value[i] + 32 : value[i]) != word[i]) return false;
    return i == length && !word[i];
}

// Keys beyond the original five: the hotkey and the share copy.
static void apply_addition(const u8 *key, i64 key_length, const u8 *value, i64 value_length) {
    if (slice_is(key, key_length, "record_hotkey")) {
        apply_text(&app.record_hotkey, value, value_length, false);
    } else if (slice_is(key, key_length, "share_copy")) {
        if (same_letters(value, value_length, "none")) app.share_copy = SHARE_COPY_NONE;
        else if (same_letters(value, value_length, "mp4")) app.share_copy = SHARE_COPY_MP4;
        else if (same_letters(value, value_length, "gif")) app.share_copy = SHARE_COPY_GIF;
    } else if (slice_is(key, key_length, "share_copy_max_width")) {
        i16 n = parse_number(value, value_length);
        app.share_copy_max_width = n < 0 ? 0 : n;
    }
}

static void apply(const u8 *key, i64 key_length, const u8 *value, i64 value_length) {
    if (slice_is(key, key_length, "output_file_name")) {
        apply_text(&app.output_name_template, value, value_length, true);
    } else if (slice_is(key, key_length, "audio_device_name")) {
        apply_text(&app.audio_device, value, value_length, false);
    } else if (slice_is(key, key_length, "frame_dash_length")) {
        app.frame_dash_length = drawable(parse_number(value, value_length), DASH_LENGTH_MAX);
    } else if (slice_is(key, key_length, "frame_dash_thickness")) {
        app.frame_dash_thickness = drawable(parse_number(value, value_length), DASH_THICKNESS_MAX);
    } else if (slice_is(key, key_length, "frame_size_rounding")) {
        app.frame_size_rounding = parse_number(value, value_length);
    } else {
        apply_addition(key, key_length, value, value_length);
    }
}

static i64 find(const u8 *bytes, i64 from, i64 length, u8 wanted) {
    const void *at = from < length ? memchr(bytes + from, wanted, (size_t)(length - from)) : nullptr;
    return at ? (const u8 *)at - bytes : -1;
}

void config_load(StrSlice content) {
    u8 *bytes = (u8 *)content.data;
    i64 n = content.length;
    if (!bytes || n < 1) return;
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
