#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quorvel/batch/convert_file.hpp"
#include "quorvel/engine/inspection.hpp"
#include "quorvel/batch/batch_plan.hpp"
#include "batch_runner.hpp"

namespace quorvel::cli {

// The name --json gives an outcome of the batch library's classification: "converted",
// "copied", "refused", "malformed", "too-large", "failed" or "skipped".
std::string_view OutcomeName(batch::FileOutcome::Kind kind) noexcept;
// A file's outcome as --json names it: OutcomeName of its kind, except that an input
// the engine could not open (result code 1) is "failed", as every other file error.
std::string_view OutcomeName(const batch::FileOutcome& outcome) noexcept;

// The name --json --dry-run gives a file the plan does not hand to the converter:
// "would-skip", "would-refuse" or "would-fail" after its refusal kind.
std::string_view DryRunRefusalName(batch::FileOutcome::Kind kind) noexcept;

// The outcome names of a batch and of a dry run, in the order summaries list them.
const std::vector<std::string_view>& BatchOutcomeNames();
const std::vector<std::string_view>& DryRunOutcomeNames();

// One JSON object on one line (no newline) for a file of a batch: "type": "file", "input"
// and "output" (paths as opened and written; output null for a folder that could not be
// listed), "outcome", "code" (the engine's result code, null where it gave none) and
// "message" (the text line as printed). A path that is not valid UTF-8 is written with
// U+FFFD for each invalid byte, and its exact bytes follow in "input_bytes" or
// "output_bytes" as lowercase hex; on Windows a name with an unpaired surrogate has its
// UTF-16 code units in "input_utf16" or "output_utf16" (little-endian, hex).
std::string FileJson(const batch::PlannedFile& file, std::string_view outcome, int code, const std::string& message);

// One JSON object on one line (no newline) for a file that info describes: "type": "info",
// "file" (as given; "file_bytes" as FileJson's paths), "read_error", "format", "tracks",
// "division", "events_per_track", "channels" (1 to 16), "lyric_events",
// "karaoke_marker_track", "problem", "missing_bytes", "trailing_bytes" (null where the
// text report has nothing: all of them when the file could not be read, all but
// read_error and problem when no header was read) and "well_formed".
std::string InfoJson(const std::string& file, const engine::Inspection& info);

// What a batch prints, as text lines or as JSON objects: counts the outcomes and words
// each file and the final line. Not thread-safe; the batch's delivering thread uses it.
class ResultReport {
public:
    // outcomes: the names the summary counts (all of them, also those that stay at 0);
    // the clock for "seconds" starts here.
    ResultReport(const BatchOptions& options, const std::vector<std::string_view>& outcomes);

    // What goes out for one file, ending in a newline: with json its object; otherwise its
    // message, or nothing for a converted file with quiet. Counts the outcome.
    std::string File(const batch::PlannedFile& file, std::string_view outcome, bool succeeded, int code,
                     const std::string& message);

    // The batch's last line, ending in a newline: finalText, or with json a summary object:
    // "type": "summary", "files" (files reported), "counts" (per outcome name), "message"
    // (finalText) and "seconds" since construction.
    std::string Final(std::string_view finalText) const;

private:
    bool json_;
    bool quiet_;
    std::vector<std::pair<std::string_view, std::size_t>> counts_;
    std::size_t files_ = 0;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace quorvel::cli
