#pragma once

#include <string>
#include <string_view>

#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/engine_calls.hpp"
#include "batch_plan.hpp"
#include "output_folders.hpp"

namespace quorvel::cli {

// A name as quorvel-cli prints it, so that one line stays one line and sends no terminal
// codes: a tab, line feed or carriage return becomes \t, \n or \r; every other control
// character (below 0x20, 0x7F, and U+0080 to U+009F), and each byte that is not part of
// valid UTF-8, becomes \x and two hex digits per byte (\x1b, \xc2\x9b, \xff); a
// backslash becomes \\ except on Windows, where it separates folders. Other text is
// kept as it is.
std::string PrintableName(std::string_view name);

// True when text is valid UTF-8 throughout (no stray byte, overlong form or surrogate).
bool IsValidUtf8(std::string_view text) noexcept;

// Converts one planned file (which must have no refusal) with engine: makes the output's
// folder through folders (or directly without them) when the input comes from a folder
// below the argument and it is missing, then converts and words the result as the window does, with the batch library's outcome.
// Every exception becomes a failed outcome ("song.mid - Disk full"), so nothing escapes:
// the next file goes on.
batch::FileOutcome ConvertPlanned(batch::BatchKind kind, const PlannedFile& file, batch::EngineCalls& engine,
                                  OutputFolders* folders = nullptr) noexcept;

// The outcome of a planned file: its refusal (of its refusalKind, no result code), or
// the result of converting it.
batch::FileOutcome ResultOf(batch::BatchKind kind, const PlannedFile& file, batch::EngineCalls& engine,
                            OutputFolders* folders = nullptr) noexcept;

}  // namespace quorvel::cli
