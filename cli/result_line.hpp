#pragma once

#include <string>
#include <string_view>

#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/engine_calls.hpp"
#include "batch_plan.hpp"

namespace quorvel::cli {

// A name as quorvel-cli prints it, so that one line stays one line and sends no terminal
// codes: a tab, line feed or carriage return becomes \t, \n or \r; every other control
// character (below 0x20, 0x7F, and U+0080 to U+009F), and each byte that is not part of
// valid UTF-8, becomes \x and two hex digits per byte (\x1b, \xc2\x9b, \xff); a
// backslash becomes \\ except on Windows, where it separates folders. Other text is
// kept as it is.
std::string PrintableName(std::string_view name);

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
