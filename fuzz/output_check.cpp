#include "output_check.hpp"

#include <cstddef>

namespace quorvel::fuzz {
namespace {

std::uint32_t Big32(const Bytes& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | std::uint32_t{b[at + 3]};
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
// not examined, as the engine does; a data byte of 0x80 or more is reported through
// highData, since after it the walk may no longer agree with any reader's. The engine
// reads running status across meta and sysex events (keepRunning); a file it writes
// must not rely on that, since other readers cancel running status there.
std::string WalkEvents(const Bytes& b, std::size_t begin, std::size_t end, int track, bool keepRunning,
                       bool& highData) {
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
        if (status < 0xF0) {
            running = status;
            length = (status >> 4) == 0xC || (status >> 4) == 0xD ? 1 : 2;
        } else {
            if (!keepRunning) running = 0;
            if (status == 0xFF) {
                if (at >= end) return At("a meta event without its type", track, eventStart);
                ++at;
            } else if (status != 0xF0 && status != 0xF7) {
                return At("a status byte that is not allowed", track, at - 1);
            }
            if (!VarLen(b, at, end, length)) return At("a bad event length", track, eventStart);
        }
        if (length > end - at) return At("an event running past its chunk", track, eventStart);
        if (status < 0xF0)
            for (std::uint32_t i = 0; i < length; ++i) highData = highData || b[at + i] >= 0x80;
        at += length;
    }
    return {};
}

bool EndsWithEndOfTrack(const Bytes& b, std::size_t begin, std::size_t end) {
    return end - begin >= 4 && b[end - 4] == 0x00 && b[end - 3] == 0xFF && b[end - 2] == 0x2F &&
           b[end - 1] == 0x00;
}

// The 14-byte header: "MThd", length 6, the conversion's format and a track count,
// and the input's division. Whatever the input's length and format words carried in
// the bytes its reader passes over, the output states them plainly.
std::string CheckHeader(const Bytes& input, const Bytes& output, int format, int& tracks) {
    if (output.size() < 14) return "the output is shorter than a header";
    if (!Tag(output, 0, "MThd")) return "the output has no MThd tag";
    if (output[4] != 0 || output[5] != 0 || output[6] != 0 || output[7] != 6)
        return "the header length is not 6";
    if (output[8] != 0 || output[9] != format) return "the header has the wrong format";
    tracks = (output[10] << 8) | output[11];
    if (output[12] != input[12] || output[13] != input[13]) return "the time division changed";
    return {};
}

// Whether every channel event of the input's first `tracks` chunks has data bytes below
// 0x80. The conversions copy data bytes without looking at them, so when the input
// holds such a byte, its outputs can only be checked chunk by chunk, not event by event:
// a data byte of 0x80 or more after a running status reads as a status byte.
bool PlainChannelData(const Bytes& input, int tracks) {
    std::size_t at = 14;
    bool highData = false;
    for (int n = 1; n <= tracks; ++n) {
        if (input.size() < at || input.size() - at < 8) return false;
        const std::uint32_t length = Big32(input, at + 4);
        at += 8;
        if (length > input.size() - at) return false;
        if (!WalkEvents(input, at, at + length, n, true, highData).empty() || highData) return false;
        at += length;
    }
    return true;
}

// Walks the chunks after the header; they must fill the file exactly. With walkEvents,
// each chunk is also walked event by event and must end on an event boundary.
std::string CheckChunks(const Bytes& output, int tracks, bool walkEvents, bool endOfTrackFromSecond,
                        bool endOfTrackFirst) {
    std::size_t at = 14;
    for (int n = 1; n <= tracks; ++n) {
        if (output.size() - at < 8) return "track " + std::to_string(n) + " is missing";
        if (!Tag(output, at, "MTrk")) return "track " + std::to_string(n) + " has no MTrk tag";
        const std::uint32_t length = Big32(output, at + 4);
        at += 8;
        if (length > output.size() - at)
            return "track " + std::to_string(n) + " declares more bytes than the file holds";
        const std::size_t end = at + length;
        bool highData = false;
        if (walkEvents) {
            if (std::string fault = WalkEvents(output, at, end, n, false, highData); !fault.empty()) return fault;
            if (highData) return "track " + std::to_string(n) + " has a data byte of 0x80 or more";
        }
        const bool needEnd = n == 1 ? endOfTrackFirst : endOfTrackFromSecond;
        if (needEnd && !EndsWithEndOfTrack(output, at, end))
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
    return CheckChunks(output, 1, PlainChannelData(input, inputTracks), true, true);
}

std::string CheckType1Output(const Bytes& input, const Bytes& output) {
    int tracks = 0;
    if (std::string fault = CheckHeader(input, output, 1, tracks); !fault.empty()) return fault;
    if (tracks < 1 || tracks > 19) return "a format-1 output with " + std::to_string(tracks) + " tracks";
    return CheckChunks(output, tracks, PlainChannelData(input, 1), true, false);
}

}  // namespace quorvel::fuzz
