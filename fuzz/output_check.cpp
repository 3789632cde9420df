#include "output_check.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace quorvel::fuzz {
namespace {

std::uint32_t Big32(const Bytes& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) |
           std::uint32_t{b[at + 3]};
}

bool Tag(const Bytes& b, std::size_t at, const char* tag) {
    for (std::size_t i = 0; i < 4; ++i)
        if (b[at + i] != static_cast<std::uint8_t>(tag[i])) return false;
    return true;
}

// Reads a variable-length number of at most 4 bytes from [at, end); false when it is
// longer or cut off.
bool VarLen(const Bytes& b, std::size_t& at, std::size_t end, std::uint32_t& value) {
    value = 0;
    for (int n = 1; n <= 4; ++n) {
        if (at >= end) return false;
        const std::uint8_t byte = b[at++];
        value = (value << 7) | (byte & 0x7Fu);
        if (byte < 0x80) return true;
    }
    return false;
}

std::string At(const char* what, int track, std::size_t offset) {
    return std::string(what) + " in track " + std::to_string(track) + " at offset " + std::to_string(offset);
}

// Walks the events of one chunk's data [begin, end). Channel data bytes are counted,
// not examined, as the engine does. The engine reads running status across meta and
// sysex events (keepRunning); a file it writes must not rely on that, since other
// readers cancel running status there.
std::string WalkEvents(const Bytes& b, std::size_t begin, std::size_t end, int track, bool keepRunning,
                       bool& endsWithEndOfTrack) {
    endsWithEndOfTrack = false;
    std::size_t at = begin;
    std::uint8_t running = 0;
    while (at < end) {
        const std::size_t eventStart = at;
        std::uint32_t delta = 0;
        // A delta carries the sum of many input deltas; the conversions refuse a file
        // where that sum needs more than 4 bytes, so every written delta fits them.
        if (!VarLen(b, at, end, delta)) return At("a bad delta time", track, eventStart);
        if (at >= end) return At("a delta time without an event", track, eventStart);
        std::uint8_t status = b[at];
        if (status >= 0x80) {
            ++at;
        } else if (running != 0) {
            status = running;
        } else {
            return At("a data byte where a status byte belongs", track, at);
        }
        std::uint32_t length = 0;
        int metaType = -1;
        if (status < 0xF0) {
            running = status;
            length = (status >> 4) == 0xC || (status >> 4) == 0xD ? 1 : 2;
        } else {
            if (!keepRunning) running = 0;
            if (status == 0xFF) {
                if (at >= end) return At("a meta event without its type", track, eventStart);
                metaType = b[at];
                ++at;
            } else if (status != 0xF0 && status != 0xF7) {
                return At("a status byte that is not allowed", track, at - 1);
            }
            if (!VarLen(b, at, end, length)) return At("a bad event length", track, eventStart);
        }
        if (length > end - at) return At("an event running past its chunk", track, eventStart);
        at += length;
        endsWithEndOfTrack = metaType == 0x2F && length == 0;
    }
    return {};
}

// One channel event as a reader with the engine's rules sees it: its absolute time in
// its chunk, its status and its data bytes.
struct ChannelEvent {
    std::uint64_t time;
    std::uint8_t status;
    Bytes data;
    bool operator==(const ChannelEvent&) const = default;
    auto operator<=>(const ChannelEvent&) const = default;
};

// The channel events of one chunk [begin, end) of a file already walked and found
// sound, read with the engine's rules (running status kept across system events, data
// bytes taken as they come). The merge leaves out the event that ends a chunk and, in
// a karaoke file, track 2 from its marker on: dropLast and dropFromMarker leave them
// out here too.
std::vector<ChannelEvent> ChannelEvents(const Bytes& b, std::size_t begin, std::size_t end, bool dropLast,
                                        bool dropFromMarker) {
    static const std::string marker = "@KMIDI KARAOKE FILE";
    std::vector<ChannelEvent> events;
    std::size_t at = begin;
    std::uint8_t running = 0;
    std::uint64_t time = 0;
    while (at < end) {
        std::uint32_t delta = 0;
        if (!VarLen(b, at, end, delta) || at >= end) break;
        time += delta;
        std::uint8_t status = b[at];
        if (status >= 0x80)
            ++at;
        else
            status = running;
        std::uint32_t length = 0;
        std::uint8_t metaType = 0;
        if (status < 0xF0) {
            running = status;
            length = (status >> 4) == 0xC || (status >> 4) == 0xD ? 1 : 2;
        } else {
            if (status == 0xFF) metaType = b[at++];
            if (!VarLen(b, at, end, length)) break;
        }
        if (length > end - at) break;
        const bool last = at + length == end;
        if (dropFromMarker && status == 0xFF && metaType == 0x01 && length == marker.size() &&
            std::equal(marker.begin(), marker.end(), b.begin() + static_cast<std::ptrdiff_t>(at)))
            break;
        if (status < 0xF0 && !(dropLast && last))
            events.push_back({time, status,
                              Bytes(b.begin() + static_cast<std::ptrdiff_t>(at),
                                    b.begin() + static_cast<std::ptrdiff_t>(at + length))});
        at += length;
    }
    return events;
}

// The chunks [begin, end) of the first `tracks` track chunks of a file whose chunk
// headers have been checked.
std::vector<std::pair<std::size_t, std::size_t>> Chunks(const Bytes& b, int tracks) {
    std::vector<std::pair<std::size_t, std::size_t>> chunks;
    std::size_t at = 14;
    for (int n = 1; n <= tracks && b.size() >= at + 8; ++n) {
        const std::uint32_t length = Big32(b, at + 4);
        at += 8;
        if (length > b.size() - at) break;
        chunks.emplace_back(at, at + length);
        at += length;
    }
    return chunks;
}

// The output, read back with the engine's rules, holds the input's channel events in
// order: per channel, the same events at the same times in the same order (the events
// the merge leaves out excepted).
std::string CheckChannelEvents(const Bytes& input, int inputTracks, const Bytes& output, int outputTracks, bool merge) {
    std::array<std::vector<ChannelEvent>, 16> expected;
    std::array<std::vector<ChannelEvent>, 16> found;
    int n = 0;
    for (const auto& [begin, end] : Chunks(input, inputTracks)) {
        ++n;
        for (ChannelEvent& e : ChannelEvents(input, begin, end, merge, merge && n == 2))
            expected[e.status & 0x0F].push_back(std::move(e));
    }
    for (const auto& [begin, end] : Chunks(output, outputTracks))
        for (ChannelEvent& e : ChannelEvents(output, begin, end, false, false))
            found[e.status & 0x0F].push_back(std::move(e));
    for (int channel = 0; channel < 16; ++channel) {
        // The merge interleaves tracks by time, so events of one channel from several
        // tracks may come in another order at one time: compare them sorted, and
        // require times that never go back.
        std::vector<ChannelEvent>& want = expected[channel];
        std::vector<ChannelEvent>& got = found[channel];
        if (!std::is_sorted(got.begin(), got.end(),
                            [](const ChannelEvent& a, const ChannelEvent& b) { return a.time < b.time; }))
            return "channel " + std::to_string(channel + 1) + "'s events go back in time";
        if (merge) {
            std::sort(want.begin(), want.end());
            std::sort(got.begin(), got.end());
        }
        if (want != got)
            return "channel " + std::to_string(channel + 1) + " holds " + std::to_string(got.size()) +
                   " events that differ from the input's " + std::to_string(want.size());
    }
    return {};
}

// The 14-byte header: "MThd", length 6, the conversion's format and a track count,
// and the input's division. Whatever the input's length and format words carried in
// the bytes its reader passes over, the output states them plainly.
std::string CheckHeader(const Bytes& input, const Bytes& output, int format, int& tracks) {
    if (output.size() < 14) return "the output is shorter than a header";
    if (!Tag(output, 0, "MThd")) return "the output has no MThd tag";
    if (output[4] != 0 || output[5] != 0 || output[6] != 0 || output[7] != 6) return "the header length is not 6";
    if (output[8] != 0 || output[9] != format) return "the header has the wrong format";
    tracks = (output[10] << 8) | output[11];
    if (output[12] != input[12] || output[13] != input[13]) return "the time division changed";
    return {};
}

// Walks the chunks after the header; they must fill the file exactly, and each chunk,
// walked event by event, must end on an event boundary.
std::string CheckChunks(const Bytes& output, int tracks, bool endOfTrackFromSecond, bool endOfTrackFirst) {
    std::size_t at = 14;
    for (int n = 1; n <= tracks; ++n) {
        if (output.size() - at < 8) return "track " + std::to_string(n) + " is missing";
        if (!Tag(output, at, "MTrk")) return "track " + std::to_string(n) + " has no MTrk tag";
        const std::uint32_t length = Big32(output, at + 4);
        at += 8;
        if (length > output.size() - at)
            return "track " + std::to_string(n) + " declares more bytes than the file holds";
        const std::size_t end = at + length;
        bool endsWithEndOfTrack = false;
        if (std::string fault = WalkEvents(output, at, end, n, false, endsWithEndOfTrack); !fault.empty()) return fault;
        const bool needEnd = n == 1 ? endOfTrackFirst : endOfTrackFromSecond;
        if (needEnd && !endsWithEndOfTrack)
            return "track " + std::to_string(n) + " does not end with an end-of-track event";
        at = end;
    }
    if (at != output.size()) return std::to_string(output.size() - at) + " bytes follow the last track";
    return {};
}

}  // namespace

std::string CheckType0Output(const Bytes& input, const Bytes& output) {
    int tracks = 0;
    if (std::string fault = CheckHeader(input, output, 0, tracks); !fault.empty()) return fault;
    if (tracks != 1) return "a format-0 output with " + std::to_string(tracks) + " tracks";
    const int inputTracks = (input[10] << 8) | input[11];
    if (std::string fault = CheckChunks(output, 1, true, true); !fault.empty()) return fault;
    return CheckChannelEvents(input, inputTracks, output, 1, true);
}

std::string CheckType1Output(const Bytes& input, const Bytes& output) {
    int tracks = 0;
    if (std::string fault = CheckHeader(input, output, 1, tracks); !fault.empty()) return fault;
    if (tracks < 1 || tracks > 19) return "a format-1 output with " + std::to_string(tracks) + " tracks";
    if (std::string fault = CheckChunks(output, tracks, true, false); !fault.empty()) return fault;
    return CheckChannelEvents(input, 1, output, tracks, false);
}

}  // namespace quorvel::fuzz
