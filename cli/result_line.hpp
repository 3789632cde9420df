#pragma once

#include <string>

#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/engine_calls.hpp"
#include "batch_plan.hpp"

namespace quorvel::cli {

// The line of one converted (or refused) file and whether it counts as converted.
struct FileResult {
    std::string text;
    bool succeeded = false;
};

// Converts one planned file (which must have no refusal) with engine and words the
// result as the window does. Every exception becomes a line ("song.mid - Disk full"),
// so nothing escapes: the next file goes on.
FileResult ConvertPlanned(batch::BatchKind kind, const PlannedFile& file, batch::EngineCalls& engine) noexcept;

// The line of a planned file: its refusal, or the result of converting it.
FileResult ResultOf(batch::BatchKind kind, const PlannedFile& file, batch::EngineCalls& engine) noexcept;

}  // namespace quorvel::cli
