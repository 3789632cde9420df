#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quorvel::batch {

// A UTF-8 text as a path: UTF-16 on Windows, the same bytes elsewhere. Invalid UTF-8
// turns into replacement characters on Windows rather than failing.
std::filesystem::path PathFromUtf8(std::string_view text);

// A path as UTF-8 text; the inverse of PathFromUtf8.
std::string Utf8FromPath(const std::filesystem::path& path);

// Compares two UTF-8 file names ignoring letter case as Windows' file systems do:
// both upper-cased with the system's table (CompareStringOrdinal, every letter that
// has an upper case, Ä and ä alike), then ordinal. Elsewhere only a to z are folded.
// Negative, zero or positive like strcmp.
int CompareIgnoringCase(std::string_view a, std::string_view b);

// Orders file names the way the platform's file system tells them apart: Windows and
// macOS ignore case (see CompareIgnoringCase), other systems compare bytes. Two names
// equivalent under it name the same file.
struct FileNameLess {
    bool operator()(std::string_view a, std::string_view b) const;
    using is_transparent = void;
};

}  // namespace quorvel::batch
