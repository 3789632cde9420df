#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::batch {

// Where a window's input side goes for the files and folders it is given on its command
// line ("Open with", a drop on the program's icon) or dropped on it.
struct StartPlace {
    // Absolute, without a trailing separator except at a root; empty when no path names
    // a file or a folder.
    std::filesystem::path directory;
    int filterIndex = -1;  // the filter entry whose mask the first file matches; -1 keeps the current one
    std::vector<std::filesystem::path> selected;  // names (no folder) of the given files in directory, in order
    std::vector<std::string> missing;             // paths, as given (UTF-8), that name neither a file nor a folder
};

// The place for paths (files or folders, absolute or relative to the current directory):
// the folder of the first existing file, or the first existing folder itself; the first
// of masks (a filter's masks, in the order of its entries) that matches the first file's
// name; the given files of that folder, each once. Reads only file metadata.
StartPlace PlanStart(const std::vector<std::filesystem::path>& paths, const std::vector<std::string>& masks);

// The masks of a filter in the form "description|mask|description|mask...".
std::vector<std::string> FilterMasks(std::string_view filter);

// True when name matches mask: wildcard patterns ("*", "?") separated by ";" (blanks
// around each left out), letters a to z in either case. The windows, whose file lists
// match every letter in either case, hand it both upper-cased.
bool MatchesMask(std::string_view name, std::string_view mask);

// The error report for given paths that name nothing: one line per path, as the batches
// report files ("song.mid - No such file or folder"), ended by a full stop.
std::string MissingPathsText(const std::vector<std::string>& missing);

}  // namespace quorvel::batch
