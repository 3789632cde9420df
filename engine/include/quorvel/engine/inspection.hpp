#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "quorvel/engine/file_ops.hpp"

namespace quorvel::engine {

// What the engine's reader finds in one file. The fields after the header hold what
// was read before the first problem, if there is one.
//
// The file is read by the rules of the conversion that applies to it: a format-0 file
// with one track by the split's, every other file by the merge's (its tracks one after
// the other). So `problem` is set exactly when that conversion refuses the file as
// malformed, with the same reason when the file has one fault.
struct Inspection {
    std::optional<std::string> readError;  // the file could not be read: no other field is set
    bool headerRead = false;
    int format = 0;
    int tracks = 0;
    int division = 0;
    std::vector<int> eventsPerTrack;  // one entry per track chunk read to its end
    std::uint16_t channels = 0;       // bit c set when MIDI channel c + 1 has an event
    int lyricEvents = 0;              // FF 05 events
    int karaokeMarkerTrack = 0;       // first track holding the karaoke marker text, 0 for none
    std::int64_t trailingBytes = 0;   // bytes after the last track chunk
    // By the split's rules: bytes the track chunk declares beyond the end of the file,
    // when its events up to there are sound (the split answers with a result code).
    std::int64_t missingBytes = 0;
    std::optional<std::string> problem;  // the first structural fault: a MalformedFile reason

    bool Readable() const noexcept { return !readError; }
    // Readable, without a structural fault, and every track chunk whole in the file.
    bool WellFormed() const noexcept { return !readError && !problem && missingBytes == 0; }
};

// Reads the file at path through ops and walks every event of every track with the
// reader the conversions use. Never reads outside the file's bytes; a file that cannot
// be opened or read, or is larger than the engine's file image, gives readError; a
// structural fault gives problem. Never throws for a bad file.
Inspection InspectFile(const std::filesystem::path& path, FileOps& ops = SystemFileOps());

}  // namespace quorvel::engine
