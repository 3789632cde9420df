#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quorvel/batch/batch_plan.hpp"
#include "quorvel/batch/file_names.hpp"

namespace quorvel::cli {

// One file named on the command line, or found in a directory named there.
using InputFile = batch::BatchInput;

// The listing rules (HasMidiExtension, LessIgnoringAsciiCase, LessAsListed) are the
// batch library's, shared with the web page, which lists chosen folders the same way.
using batch::HasMidiExtension;
using batch::LessAsListed;
using batch::LessIgnoringAsciiCase;

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
