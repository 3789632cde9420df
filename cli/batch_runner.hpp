#pragma once

#include <ostream>
#include <vector>

#include "quorvel/batch/engine_calls.hpp"
#include "batch_plan.hpp"
#include "input_list.hpp"
#include "progress.hpp"

namespace quorvel::cli {

// Runs a whole batch: plans it, converts the files on up to options.jobs threads and
// writes one line per file to out in input order (with quiet, only the lines of files
// not converted), then the batch's final text. progress, when given, is redrawn as
// files finish and cleared before each line. Returns the exit status: 0 when every
// file was converted, 1 when any was skipped, refused or failed, 2 when there are no
// files (out gets "No Files Selected").
int RunBatch(const std::vector<InputFile>& inputs, const BatchOptions& options, std::ostream& out,
             ProgressBar* progress);

// The engine calls of a batch: the real engine, and with force a karaoke copy that
// replaces an existing output file (whole or not at all). Safe to share between threads.
batch::EngineCalls& CliEngineCalls(bool force);

}  // namespace quorvel::cli
