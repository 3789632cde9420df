#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quorvel/batch/convert_file.hpp"

namespace quorvel::batch {

// How many files of a batch ended in each group (see GroupOf).
struct ResultCounts {
    int converted = 0;
    int refused = 0;
    int failed = 0;
    int skipped = 0;
    int notTried = 0;  // a batch that ended early: the files it did not start
    bool operator==(const ResultCounts&) const = default;
};

// A batch's results gathered in one list: every handled file's line, worded as its box
// would have been, in list order, then the batch's last line (the completion text,
// "Stopped after N of M files", or the line of the file whose error ended the batch).
struct ResultsList {
    std::vector<std::string> lines;
    ResultCounts counts;
    // The batch's output folder (UTF-8, the window's form), where saving the list starts.
    std::string folder = {};

    // Appends a file's line and counts it.
    void Add(const FileOutcome& outcome);
};

// "3 converted, 1 refused, 0 failed", with ", 2 skipped" when any file was skipped and
// ", 4 not tried" when a batch ended before any file.
std::string CountsText(const ResultCounts& counts);

// How a saved or copied list ends its lines: as the platform's text files do.
#ifdef _WIN32
inline constexpr std::string_view ResultsLineEnd = "\r\n";
#else
inline constexpr std::string_view ResultsLineEnd = "\n";
#endif

// The list as one text to copy or save: each line, then the counts, each ended by
// ResultsLineEnd.
std::string ResultsText(const ResultsList& results);

// Writes ResultsText to path as UTF-8 through a temporary file beside it, so an existing
// file is replaced whole or not at all. Returns the reason when it could not.
std::optional<std::string> SaveResults(const ResultsList& results, const std::filesystem::path& path);

}  // namespace quorvel::batch
