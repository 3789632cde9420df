#pragma once

#include <cstdint>
#include <vector>

#include "smf_stream.hpp"

namespace quorvel::engine {

// One event of a merge window: the events of every track with times in [start, end),
// read ahead track by track and then put in the merge's order (time, round, track) all
// at once, instead of one heap step per event.
struct WindowEvent {
    const std::uint8_t* body;  // the bytes after its status byte
    std::uint64_t order;       // its time after the window's start, then its round: time << 16 | round
    std::uint32_t length;      // bytes after the status byte
    std::uint8_t status;
    std::uint8_t runningBefore;  // its track's running status before it
    bool statusByte;             // it has a status byte of its own (else it runs on the last one)
    bool written;                // false: left out of the output, though it takes its time
};

// The fewest tracks with events that the merge takes in windows: below, the heap costs
// less (measured on files of the same events: the heap's instructions per byte grow from
// 20 at 4 tracks to 58 at 256, the windows' stay near 52 to 57 and pass below the heap's
// between 160 and 192 tracks).
inline constexpr int WindowTracks = 176;

// The most rounds (events of one track at one time) a window event can be numbered with.
inline constexpr std::uint64_t WindowMostRounds = 0xFFFF;

constexpr std::uint64_t WindowOrderOf(std::uint64_t time, std::uint64_t round) noexcept { return time << 16 | round; }
constexpr std::uint64_t WindowTimeOf(std::uint64_t order) noexcept { return order >> 16; }

// Puts the first count events whose time (after the window's start) is below span in the
// merge's order, as indices into order: by time, then round, then the order in which
// they were added, which is track order. A counting sort on the time (one bucket a tick,
// or 2^shift ticks when the window is much wider than it has events), then a stable
// insertion sort on time and round within each bucket, which finds most buckets in
// order already.
inline void SortWindow(const WindowEvent* events, std::size_t count, std::uint64_t span,
                       std::vector<std::uint16_t>& order, std::vector<std::uint32_t>& buckets) {
    std::uint64_t most = 64;
    while (most < count) most *= 2;
    int shift = 0;
    while ((span - 1) >> shift >= most) ++shift;
    const auto bucketCount = static_cast<std::size_t>(((span - 1) >> shift) + 1);
    buckets.assign(bucketCount + 1, 0);
    std::uint32_t* const bucket = buckets.data();
    const std::uint64_t limit = WindowOrderOf(span, 0);
    const int orderShift = 16 + shift;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t key = events[i].order;
        if (key >= limit) continue;
        ++bucket[(key >> orderShift) + 1];
        ++kept;
    }
    for (std::size_t b = 1; b <= bucketCount; ++b) bucket[b] += bucket[b - 1];
    order.resize(kept);
    std::uint16_t* const sorted = order.data();
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t key = events[i].order;
        if (key >= limit) continue;
        sorted[bucket[key >> orderShift]++] = static_cast<std::uint16_t>(i);
    }
    // Events of earlier buckets have earlier times, so no event moves past its bucket.
    for (std::size_t i = 1; i < kept; ++i) {
        const std::uint16_t e = sorted[i];
        const std::uint64_t key = events[e].order;
        if (key >= events[sorted[i - 1]].order) continue;
        std::size_t j = i;
        do {
            sorted[j] = sorted[j - 1];
            --j;
        } while (j > 0 && key < events[sorted[j - 1]].order);
        sorted[j] = e;
    }
}

// Finishes a variable-length quantity whose first byte, value (0x80 or more), came
// before p: at most 3 more bytes, within the chunk. False when it is longer or cut
// off; p ends after it.
inline bool ReadQuantityRest(const std::uint8_t*& p, const std::uint8_t* chunkEnd, std::uint32_t& value) {
    value &= 0x7F;
    for (int used = 1; used < 4; ++used) {
        if (p >= chunkEnd) return false;
        const std::uint8_t b = *p++;
        value = (value << 7) | (b & 0x7Fu);
        if (b < 0x80) return true;
    }
    return false;
}

// Measures the system event of track n with status at body (the bytes after the status
// byte) in a chunk ending at chunkEnd: its length after the status byte, and whether the
// merge writes it. False for an event the window leaves to the checked path: another
// status, a length that cannot be read within the chunk, and texts of track 2, where
// the karaoke marker may be.
inline bool MeasureWindowSystemEvent(int n, std::uint8_t status, const std::uint8_t* body, const std::uint8_t* chunkEnd,
                                     std::uint32_t& length, bool& written) {
    const bool meta = status == MetaStatus;
    if (!meta && status != SysexStatus && status != SysexEscapeStatus) return false;
    const std::uint8_t* p = body + (meta ? 1 : 0);
    if (p >= chunkEnd || (meta && n == 2 && body[0] == MetaText)) return false;
    std::uint32_t dataLength = *p++;
    if (dataLength >= 0x80 && !ReadQuantityRest(p, chunkEnd, dataLength)) return false;
    length = static_cast<std::uint32_t>(p - body) + dataLength;
    written = !meta || !MergeDropsMeta(n, body[0], dataLength);
    return true;
}

}  // namespace quorvel::engine
