#pragma once

#include <rapidcheck.h>

#include "smf_model.hpp"

// Generators of valid Standard MIDI Files for the property tests. Sizes stay small
// enough for a suite of a few seconds, but for one format-0 or format-1 file in 30,
// which grows past 1 MiB (a system-exclusive event of megabytes, tens of thousands of
// channel events); every track's total time stays below 2^27 ticks so that every
// delta of a merged or split track fits in four variable-length bytes.
namespace quorvel::property {

inline constexpr std::uint64_t TrackTimeLimit = 1u << 27;

// Format 1, 1 to 256 tracks: channel events of every kind on every channel with
// running status, system-exclusive events (F0, F7) of up to 30000 bytes, meta events
// with texts of up to a few hundred bytes, track names, port events FF 21 01 pp, empty chunks, tracks that
// hold only their end-of-track event, tracks without one, long waits. Never a karaoke
// file: no track holds the karaoke marker text.
rc::Gen<SmfFile> Format1File();

// Format 0, one track: channel events on all 16 channels with running status (also
// right after system-exclusive and meta events), lyrics with carriage returns, other
// meta events, system-exclusive events; now and then no meta or system event at all.
rc::Gen<SmfFile> Format0File();

// Format 1 whose second track carries the karaoke marker somewhere among other
// events and whose third track holds texts and lyrics starting with '@', '\', '/' or
// anything else, next to other events.
rc::Gen<SmfFile> KaraokeFile();

}  // namespace quorvel::property
