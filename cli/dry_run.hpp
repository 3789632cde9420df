#pragma once

#include <ostream>
#include <vector>

#include "batch_runner.hpp"
#include "input_list.hpp"

namespace quorvel::cli {

// Plans the batch as RunBatch does and reports, per file in input order, what a run
// would do, without reading any input or writing anything: "a.mid - would write a.mid in
// out", "... would replace ..." (an existing output, with force), or the plan's line of a
// file that would not be converted; then "Dry run: N of M files would be converted,
// nothing written". With options.json the same as JSON objects (outcomes would-convert,
// would-replace, would-skip, would-refuse, would-fail) and a summary. A file the
// converter would refuse for its contents shows as would-convert: nothing is read.
// Returns 0 when every file would be converted, 1 when not (or writing to out failed,
// with a message on err unless the reader has gone), 2 when there are no files (out
// gets "No Files Selected").
int RunDryRun(const std::vector<InputFile>& inputs, const BatchOptions& options, std::ostream& out, std::ostream& err);

}  // namespace quorvel::cli
