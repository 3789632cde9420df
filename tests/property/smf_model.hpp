#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "smf_test_support.hpp"

// A plain model of Standard MIDI Files for the property tests: what the generators
// produce, how it is encoded, and an independent reader that turns bytes back into
// tracks of events with absolute times. Nothing here uses the engine's own readers.
namespace quorvel::property {

// The text event that marks a karaoke file, as the two conversions read and write it.
inline constexpr std::string_view KaraokeMarker = "@KMIDI KARAOKE FILE";

using testing::Bytes;

inline constexpr std::uint8_t MetaStatus = 0xFF;
inline constexpr std::uint8_t MetaEndOfTrack = 0x2F;
inline constexpr std::uint8_t MetaText = 0x01;
inline constexpr std::uint8_t MetaTrackName = 0x03;
inline constexpr std::uint8_t MetaLyric = 0x05;
inline constexpr std::uint8_t MetaPort = 0x21;

bool IsChannelStatus(std::uint8_t status) noexcept;
int DataBytesOfChannelStatus(std::uint8_t status) noexcept;

// One event as the generators describe it. For channel events `data` holds the 1 or 2
// data bytes; for system-exclusive and meta events it holds the payload after the
// length. `runningStatus` asks the encoder to leave the status byte out when the
// track's running status allows it.
struct Event {
    std::uint32_t delta = 0;
    std::uint8_t status = 0;
    std::uint8_t metaType = 0;
    Bytes data;
    bool runningStatus = false;
};

Event EndOfTrack(std::uint32_t delta);

struct SmfFile {
    int format = 1;
    std::uint16_t division = 96;
    std::vector<std::vector<Event>> tracks;
};

// Encodes the model. Channel events may leave out their status byte when it equals
// the status of the previous channel event of the track, also across system-exclusive
// and meta events in between (the reading rule the engine accepts).
Bytes Encode(const SmfFile& file);

// rapidcheck prints a failing case through this: the file's bytes in hex.
void showValue(const SmfFile& file, std::ostream& os);

// One event as read back: absolute time and the meaning of its bytes.
struct ReadEvent {
    std::uint64_t time = 0;
    std::uint32_t delta = 0;
    std::uint8_t status = 0;    // the status that applies, running status resolved
    std::uint8_t metaType = 0;  // meta events only
    Bytes data;                 // channel data bytes, or the sysex/meta payload
    bool hadStatusByte = true;  // whether the status byte stood in the file
};

bool SameEvent(const ReadEvent& a, const ReadEvent& b);  // time, status, type and data
std::string Describe(const ReadEvent& e);

struct ReadChunk {
    std::uint32_t length = 0;
    std::vector<ReadEvent> events;
};

struct ReadSmf {
    Bytes header;  // the 14 header bytes
    int format = 0;
    int declaredTracks = 0;
    int division = 0;
    std::vector<ReadChunk> chunks;
};

// How the reader treats a channel event without a status byte after a system-exclusive
// or meta event: Lenient takes the status of the previous channel event of the track,
// Strict (the standard's rule for files we write) refuses it.
enum class RunningStatusRule { Lenient, Strict };

class ReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a whole file: the header chunk, then "MTrk" chunks until the last byte, each
// event lying wholly inside its chunk and every chunk wholly inside the file.
// Variable-length quantities of at most 4 bytes. Throws ReadError on anything else.
ReadSmf ReadFileBytes(const Bytes& bytes, RunningStatusRule rule);

}  // namespace quorvel::property
