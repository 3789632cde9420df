#pragma once

#include <cstdint>
#include <string>

#include "bytes.hpp"

namespace quorvel::fuzz {

// Structural checks of a converted file. Each returns an empty string when the file is
// sound, or a description of the first fault found.
//
// Both walk every track chunk event by event with the engine's own reading rules
// (variable-length numbers of at most 4 bytes, delta times included; running status
// only after a channel event; sysex and meta lengths as variable-length numbers) and
// require each chunk to end exactly at an event boundary and the chunks to fill the
// file to its last byte. Read back that way, the output must hold the input's channel
// events: per channel the same events at the same times in the same order, but for
// those the merge leaves out (a track's last event, track 2 of a karaoke file from its
// marker on).

// A merge result: one format-0 track, the input's time division, ending with an
// end-of-track event.
std::string CheckType0Output(const Bytes& input, const Bytes& output);

// A split result: a format-1 file of 1 to 19 tracks with the input's time division;
// every track after the first ends with an end-of-track event.
std::string CheckType1Output(const Bytes& input, const Bytes& output);

}  // namespace quorvel::fuzz
