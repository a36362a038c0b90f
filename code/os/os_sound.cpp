// The system sound's stream, written once for every backend that captures:
// frames laid on the clock and device formats converted to the stream's.
#include "os_internal.h"

#include <string.h>

static void os_sound_append(OsSoundTimeline *timeline, const f32 *frames, i64 count) {
    i64 room = timeline->pending_capacity - timeline->pending_count;
    i64 kept = count < room ? count : room;
    f32 *at = timeline->pending + timeline->pending_count * OS_SOUND_CHANNELS;
    if (frames) memcpy(at, frames, (size_t)kept * OS_SOUND_FRAME_BYTES);
    else memset(at, 0, (size_t)kept * OS_SOUND_FRAME_BYTES);
    timeline->pending_count += kept;
    // The clock goes on whether or not the encoder reads: what found no room
    // is lost, but the position still counts it, so later sound stays in step.
    timeline->laid += count;
    timeline->dropped += count - kept;
    if (!frames) timeline->silence += kept;
}

void os_sound_timeline_lay(OsSoundTimeline *timeline, i64 start, const f32 *frames, i64 count) {
    i64 gap = start - timeline->laid;
    if (gap > OS_SOUND_JITTER_FRAMES) {
        os_sound_append(timeline, nullptr, gap);
    } else if (gap < -OS_SOUND_JITTER_FRAMES || start < 0) {
        i64 overlap = -gap > -start ? -gap : -start;
        i64 skipped = overlap < count ? overlap : count;
        timeline->dropped += skipped;
        count -= skipped;
        if (frames) frames += skipped * OS_SOUND_CHANNELS;
    }
    if (count > 0) os_sound_append(timeline, frames, count);
}

void os_sound_timeline_fill(OsSoundTimeline *timeline, i64 until) {
    if (until > timeline->laid) os_sound_append(timeline, nullptr, until - timeline->laid);
}

void os_sound_timeline_take(OsSoundTimeline *timeline, i64 count) {
    if (count > timeline->pending_count) count = timeline->pending_count;
    timeline->pending_count -= count;
    memmove(timeline->pending, timeline->pending + count * OS_SOUND_CHANNELS,
            (size_t)timeline->pending_count * OS_SOUND_FRAME_BYTES);
}

OsSoundConverter os_sound_converter(u32 rate, u16 channels, u16 bits, bool is_float, i8 centre) {
    OsSoundConverter converter = {};
    converter.rate = rate;
    converter.channels = channels;
    converter.bits = bits;
    converter.is_float = is_float;
    converter.centre = centre;
    converter.phase = 1.0; // the first output frame is the first source frame
    return converter;
}

i64 os_sound_converted_capacity(const OsSoundConverter *converter, i64 count) {
    return count * OS_SOUND_RATE / (converter->rate ? converter->rate : 1) + 2;
}

static f32 os_sound_sample(const OsSoundConverter *converter, const u8 *at) {
    if (converter->is_float) {
        f32 value;
        memcpy(&value, at, sizeof value);
        return value;
    }
    switch (converter->bits) {
    case 8: return (f32)((i32)at[0] - 128) / 128.0f;
    case 16: return (f32)(i16)(at[0] | at[1] << 8) / 32768.0f;
    case 24: return (f32)((i32)((u32)at[0] << 8 | (u32)at[1] << 16 | (u32)at[2] << 24) >> 8) / 8388608.0f;
    default: return (f32)((i32)((u32)at[0] | (u32)at[1] << 8 | (u32)at[2] << 16 | (u32)at[3] << 24)) / 2147483648.0f;
    }
}

static void os_sound_stereo(const OsSoundConverter *converter, const u8 *frame, f32 *out) {
    u32 sample_bytes = converter->bits / 8u;
    f32 left = os_sound_sample(converter, frame);
    f32 right = converter->channels > 1 ? os_sound_sample(converter, frame + sample_bytes) : left;
    if (converter->centre >= 2 && converter->centre < converter->channels) {
        f32 centre = os_sound_sample(converter, frame + converter->centre * sample_bytes) * 0.7071f;
        left += centre;
        right += centre;
    }
    out[0] = left;
    out[1] = right;
}

i64 os_sound_convert(OsSoundConverter *converter, const u8 *source, i64 count, f32 *out) {
    if (count <= 0 || !converter->rate || converter->bits < 8) return 0;
    u32 frame_bytes = converter->channels * (converter->bits / 8u);
    f64 step = (f64)converter->rate / (f64)OS_SOUND_RATE;
    // Source frame i of this call is position i + 1; position 0 is the last
    // frame of the call before, so interpolation runs on across packets.
    f32 before[2], after[2];
    i64 made = 0;
    f64 position = converter->phase;
    for (; position <= (f64)count; position += step) {
        i64 index = (i64)position;
        f64 fraction = position - (f64)index;
        if (index == 0) memcpy(before, converter->previous, sizeof before);
        else os_sound_stereo(converter, source + (index - 1) * frame_bytes, before);
        if (fraction > 0 && index < count) os_sound_stereo(converter, source + index * frame_bytes, after);
        else memcpy(after, before, sizeof after);
        out[made * 2] = before[0] + (f32)fraction * (after[0] - before[0]);
        out[made * 2 + 1] = before[1] + (f32)fraction * (after[1] - before[1]);
        made++;
    }
    converter->phase = position - (f64)count;
    os_sound_stereo(converter, source + (count - 1) * frame_bytes, converter->previous);
    return made;
}
