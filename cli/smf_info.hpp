#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::cli {

// What `quorvel-cli info` tells about one file. Fields after the header hold what was
// read before the first problem, if there is one.
struct SmfInfo {
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
    std::optional<std::string> problem;  // the first structural fault found

    bool Readable() const noexcept { return !readError; }
    bool Sound() const noexcept { return !readError && !problem; }
};

// Reads the file with the engine's reader and walks every event of every track, with
// the checks the conversions make. Never reads outside the file's bytes; a file that
// is not a regular file, cannot be read or is larger than the engine's file image gives
// readError; a structural fault gives problem. Never throws for a bad file.
SmfInfo InspectFile(const std::filesystem::path& path);

// The report of one file, several lines each ending in a newline: the name and the
// header, then events per track, channels, lyrics and karaoke marker, and the problem.
std::string FormatInfo(const std::string& displayName, const SmfInfo& info);

}  // namespace quorvel::cli
