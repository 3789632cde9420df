#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "quorvel/engine/file_ops.hpp"
#include "quorvel/engine/replace_policy.hpp"

namespace quorvel::engine {

// The result codes of ConvertToType0.
enum class MergeResult : int {
    Converted = 0,
    CannotOpen = 1,     // the input cannot be opened
    NotFormat1 = 2,     // the input's format is not 1
    TooManyTracks = 3,  // the input declares more than 256 tracks
};

// The result codes of ConvertToType1.
enum class SplitResult : int {
    Converted = 0,
    CannotOpen = 1,      // the input cannot be opened
    NotFormat0 = 2,      // the input is not format 0 with one track
    Pass1NoEof = 3,      // after measuring, bytes follow the track chunk
    Pass1BeyondEof = 4,  // after measuring, the chunk reaches past the end of the file
    Pass3NoEof = 5,      // the same after distributing
    Pass3BeyondEof = 6,
};

// Merges the tracks of the format-1 file inName into the single track of a format-0
// file written to outName (which may name the input itself).
// Returns 0 on success, 1 when the input cannot be opened, 2 when it is not format 1,
// 3 when it declares more than 256 tracks; on those codes nothing on disk changes.
// Throws MalformedFile, FileTooLarge, IoError or OutOfMemory; outName is then untouched.
int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName);
int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName, FileOps& ops);
// As above, with what the last step does when a file is at outName (also one that
// appears while the conversion runs): the forms above replace it; NeverReplace leaves
// it and throws OutputFileExists. A read-only file there is never replaced (IoError 5).
// A symbolic link at outName is followed; a replaced file keeps its permission bits,
// owner and group where the process may set them.
int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName, ReplacePolicy policy,
                   FileOps& ops = SystemFileOps());

// Splits the single track of the format-0 file inName into a format-1 file written to
// outName (which may name the input itself): track 1 for system-exclusive and meta
// events, a karaoke header track and a lyrics track when the input has lyrics, then one
// track per MIDI channel in use.
// Returns 0 on success; 1 when the input cannot be opened; 2 when it is not format 0
// with one track; 3 or 4 when, after measuring, bytes follow the track chunk or the
// chunk reaches past the end of the file; 5 or 6 for the same after distributing.
// On those codes nothing on disk changes.
// Throws MalformedFile, FileTooLarge, IoError or OutOfMemory; outName is then untouched.
int ConvertToType1(const std::filesystem::path& inName, const std::filesystem::path& outName);
int ConvertToType1(const std::filesystem::path& inName, const std::filesystem::path& outName, FileOps& ops);
// As above, with a replace policy: as for ConvertToType0.
int ConvertToType1(const std::filesystem::path& inName, const std::filesystem::path& outName, ReplacePolicy policy,
                   FileOps& ops = SystemFileOps());

// The outcome of converting bytes in memory: the result code the file form returns, and
// the bytes of the output file when that code is 0 (empty otherwise).
struct ConversionResult {
    int code = 0;
    std::vector<std::uint8_t> output;
};

// Converts input, the bytes of a whole file, as ConvertToType0 converts a file: the
// same result codes, the same exceptions (OutOfMemory also when the bytes cannot be
// held). Nothing touches the disk.
ConversionResult ConvertToType0(std::span<const std::uint8_t> input);

// Converts input, the bytes of a whole file, as ConvertToType1 converts a file: the
// same result codes, the same exceptions (OutOfMemory also when the bytes cannot be
// held). Nothing touches the disk.
ConversionResult ConvertToType1(std::span<const std::uint8_t> input);

}  // namespace quorvel::engine
