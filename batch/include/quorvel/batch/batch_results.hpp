#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "quorvel/batch/convert_file.hpp"

namespace quorvel::batch {

// How many files of a batch ended in each group (see GroupOf).
struct ResultCounts {
    int converted = 0;
    int refused = 0;
    int failed = 0;
    int skipped = 0;
    bool operator==(const ResultCounts&) const = default;
};

// A batch's results gathered in one list: every handled file's line, worded as its box
// would have been, in list order, then the batch's last line (the completion text,
// "Stopped after N of M files", or the line of the file whose error ended the batch).
struct ResultsList {
    std::vector<std::string> lines;
    ResultCounts counts;

    // Appends a file's line and counts it.
    void Add(const FileOutcome& outcome);
};

// "3 converted, 1 refused, 0 failed", with ", 2 skipped" when any file was skipped.
std::string CountsText(const ResultCounts& counts);

// The list as one text to copy or save: each line, then the counts, each ended by "\n".
std::string ResultsText(const ResultsList& results);

// Writes ResultsText to path as UTF-8 through a temporary file beside it, so an existing
// file is replaced whole or not at all. Returns the reason when it could not.
std::optional<std::string> SaveResults(const ResultsList& results, const std::filesystem::path& path);

}  // namespace quorvel::batch
