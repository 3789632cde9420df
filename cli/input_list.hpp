#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::cli {

// One file named on the command line, or found in a directory named there.
struct InputFile {
    std::filesystem::path path;
    std::string displayName;           // the file's name without its directory, as shown in every line
    std::optional<std::string> error;  // set when the argument could not be listed
};

// True for names ending in ".mid" or ".kar", letters compared without regard to case.
bool HasMidiExtension(std::string_view name) noexcept;

// Orders names as the window's file list does: ignoring the case of a to z; names
// equal that way keep a fixed order by their exact text.
bool LessIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept;

// The order of a directory's files in a batch: LessIgnoringAsciiCase, except on
// Windows, whose listings ignore the case of every letter (Ä and ä alike); names
// equal that way keep a fixed order by their exact text.
bool LessAsListed(std::string_view a, std::string_view b);

// Turns the arguments, in the order given, into the files of a batch: a directory
// stands for its *.mid and *.kar entries that are not directories themselves, sorted
// by LessAsListed; anything else stands for itself (whether it exists or not is
// the conversion's business). A directory that cannot be listed gives one entry with
// its error set. Never throws for file-system errors.
std::vector<InputFile> ExpandInputs(const std::vector<std::string>& arguments);

}  // namespace quorvel::cli
