#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quorvel/batch/batch_plan.hpp"

namespace quorvel::cli {

// One file named on the command line, or found in a directory named there.
using InputFile = batch::BatchInput;

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
// the conversion's business). With recursive, a directory stands for such files in it
// and below it: in each folder its files first, then its subfolders, each sorted by
// LessAsListed, depth first; symbolic links to folders are not followed (links to
// files are). A directory that cannot be listed, at the top or below, gives one entry
// with its error set (below: named by its relative path) and the listing goes on.
// Never throws for file-system errors.
std::vector<InputFile> ExpandInputs(const std::vector<std::string>& arguments, bool recursive = false);

}  // namespace quorvel::cli
