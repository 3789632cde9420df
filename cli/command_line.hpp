#pragma once

#include <ostream>

namespace quorvel::cli {

// The whole of quorvel-cli: parses the arguments, runs the batch or the info command,
// writes results to out and usage errors and the progress bar to err. Returns the
// exit status: 0 all converted (or every file sound), 1 some file not converted (or
// malformed or unreadable), 2 a usage error.
int RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace quorvel::cli
