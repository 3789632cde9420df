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

// True for names ending in ".mid" or ".kar", letters compared without regard to case:
// the files a listed folder stands for in a batch.
bool HasMidiExtension(std::string_view name) noexcept;

// Orders names as the window's file list does: ignoring the case of a to z; names
// equal that way keep a fixed order by their exact text.
bool LessIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept;

// The order of a folder's files in a batch: LessIgnoringAsciiCase, except on
// Windows, whose listings ignore the case of every letter (Ä and ä alike); names
// equal that way keep a fixed order by their exact text.
bool LessAsListed(std::string_view a, std::string_view b);

}  // namespace quorvel::batch
