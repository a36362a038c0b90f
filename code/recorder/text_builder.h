// The recorder's growable byte buffer: paths, command lines, the state record.
#pragma once

#include <string.h>

#include "../os/os.h"

struct TextBuilder {
    i64 length;   // bytes in use; data[length] is always 0
    char *data;   // capacity + 1 bytes, null before creation or after a failed one
    i64 capacity; // bytes usable for content
};

// An empty builder (data null, capacity 0) when the allocation fails; it can
// still be appended to later.
TextBuilder builder_create(i64 capacity);
void builder_clear(TextBuilder *builder);
// Appends count bytes (nothing when count < 1). When the buffer cannot grow,
// the builder keeps its old content and the bytes are dropped.
void builder_append(TextBuilder *builder, i64 count, const void *bytes);
// Makes room for count more bytes by the growth rule; false (builder
// unchanged) when it cannot.
bool builder_reserve(TextBuilder *builder, i64 count);
void builder_append_text(TextBuilder *builder, const char *text);
void builder_append_int(TextBuilder *builder, i64 value);
void builder_append_int2(TextBuilder *builder, i64 value); // 0..9 get a leading 0
void builder_remove(TextBuilder *builder, i64 index);
// The capacity the growth rule reaches from `capacity` to hold `needed` bytes:
// doubling below 8 MiB, then 8 MiB steps. Shared by the other growable buffers.
i64 builder_grown_capacity(i64 capacity, i64 needed);

inline StrSlice builder_slice(const TextBuilder *builder) {
    return StrSlice{builder->length, builder->data};
}
// FNV-1a of the bytes: a short fingerprint, not a secret.
inline u64 text_hash(StrSlice text) {
    u64 hash = 14695981039346656037ull;
    for (i64 i = 0; i < text.length; i++) hash = (hash ^ (u8)text.data[i]) * 1099511628211ull;
    return hash;
}
// A NUL-terminated text as a slice (without its NUL).
inline StrSlice text_slice(const char *text) { return StrSlice{(i64)strlen(text), (char *)text}; }
