#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/engine_calls.hpp"
#include "input_list.hpp"
#include "progress.hpp"

namespace quorvel::cli {

struct BatchOptions {
    batch::BatchKind kind = batch::BatchKind::Smf0;
    std::filesystem::path outputDirectory = ".";
    std::string outputLabel = "the current directory";  // how lines name the output directory
    bool force = false;                                 // replace existing output files
    unsigned jobs = 1;                                  // conversions running at once
    bool quiet = false;                                 // leave out the lines of converted files
};

// One file of a batch, after the checks that come before any conversion.
struct PlannedFile {
    InputFile input;
    std::filesystem::path outputPath;
    // The file's line when it is not handed to the engine (skipped or refused).
    std::optional<std::string> refusal;
};

// Works out every output path and decides, before any conversion starts, which files
// are not converted and why: an input that could not be listed or is not a regular
// file; without force, an output that is the input itself or that exists; and a
// second input whose output name an earlier input of the run already takes. Reads the
// disk (file status only); writes nothing.
std::vector<PlannedFile> PlanBatch(const std::vector<InputFile>& inputs, const BatchOptions& options);

// The line of one converted (or refused) file and whether it counts as converted.
struct FileResult {
    std::string text;
    bool succeeded = false;
};

// Converts one planned file (which must have no refusal) with engine and words the
// result as the window does. Every exception becomes a line ("song.mid - Disk full"),
// so nothing escapes: the next file goes on.
FileResult ConvertPlanned(batch::BatchKind kind, const PlannedFile& file, batch::EngineCalls& engine) noexcept;

// Runs a whole batch: plans it, converts the files on up to options.jobs threads and
// writes one line per file to out in input order (with quiet, only the lines of files
// not converted), then the batch's final text. progress, when given, is redrawn as
// files finish and cleared before each line. Returns the exit status: 0 when every
// file was converted, 1 when any was skipped, refused or failed, 2 when there are no
// files (out gets "No Files Selected").
int RunBatch(const std::vector<InputFile>& inputs, const BatchOptions& options, std::ostream& out,
             ProgressBar* progress);

// The engine calls of a batch: the real engine, and with force a karaoke copy that
// replaces an existing output file (through a temporary file and a rename, so the old
// file stays whole if the copy fails). Safe to share between threads.
batch::EngineCalls& CliEngineCalls(bool force);

}  // namespace quorvel::cli
