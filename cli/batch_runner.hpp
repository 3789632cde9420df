#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "quorvel/batch/batch_plan.hpp"
#include "input_list.hpp"
#include "progress.hpp"

namespace quorvel::cli {

struct BatchOptions {
    batch::BatchKind kind = batch::BatchKind::Smf0;
    std::filesystem::path outputDirectory = ".";
    std::string outputLabel = batch::CurrentDirectoryLabel;  // how lines name the output directory
    bool force = false;                                      // replace existing output files
    unsigned jobs = 1;                                       // conversions running at once
    bool quiet = false;                                      // leave out the lines of converted files
    bool json = false;                                       // JSON objects instead of text lines
};

// The batch's plan (batch::PlanBatch): existing outputs refused without force and
// replaced with it, names printable.
std::vector<batch::PlannedFile> PlanFor(const std::vector<InputFile>& inputs, const BatchOptions& options);

// Runs a whole batch: plans it (PlanFor), converts the files on up to options.jobs
// threads (batch::RunPlan) and writes one line per file to out in input order (with
// quiet, only the lines of files not converted), then the batch's final text; with
// options.json one JSON object per file and a summary instead (ResultReport). progress,
// when given, is redrawn as files finish and cleared before each line. Returns the exit
// status: 0 when every file was converted, 1 when any was skipped, refused or failed, 2
// when there are no files (out gets "No Files Selected").
// A stop (StopStatus, from a signal) ends the batch early: no further file starts, the
// lines of the files finished before it are written in input order, no final text
// follows, and the stop's status is returned. So does a failed write to out, with
// status 1 and a message on err (none for a closed pipe, whose reader has gone).
int RunBatch(const std::vector<InputFile>& inputs, const BatchOptions& options, std::ostream& out, std::ostream& err,
             ProgressBar* progress);

// Writes text to out and flushes it. When that fails: requests a stop with status 1
// (RequestStop), writes a message to err unless the reader has gone (a closed pipe),
// and returns false.
bool WriteOut(std::ostream& out, std::ostream& err, const std::string& text);

}  // namespace quorvel::cli
