#pragma once

#include <filesystem>

#include "file_ops.hpp"

namespace quorvel::engine {

// Merges the tracks of the format-1 file inName into the single track of a format-0
// file written to outName (which may name the input itself).
// Returns 0 on success, 1 when the input cannot be opened, 2 when it is not format 1,
// 3 when it declares more than 256 tracks; on those codes nothing on disk changes.
// Throws MalformedFile, FileTooLarge, IoError or OutOfMemory; outName is then untouched.
int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName);
int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName,
                   FileOps& ops);

}  // namespace quorvel::engine
