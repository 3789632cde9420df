#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quorvel::testing {

// What one run of quorvel-cli gave back.
struct CliRun {
    int status = -1;  // the exit status, -1 when the process did not exit normally
    std::string out;     // standard output, each CR LF read as LF
    std::string err;     // standard error, the same way
    std::string rawOut;  // standard output, bytes as written (CR LF line ends on Windows)
    // Standard output split at line feeds (the last, empty piece dropped).
    std::vector<std::string> Lines() const;
};

// Runs the quorvel-cli built alongside the tests with arguments (UTF-8), in directory
// cwd, standard output and error captured in files (so neither is a terminal) and
// standard input empty. POSIX: fork and exec; Windows: CreateProcessW with a command
// line quoted so that the program's CommandLineToArgvW gives back every argument.
// POSIX only: a fileSizeLimit of 0 or more caps every file the program writes at that
// many bytes, as a full disk would (RLIMIT_FSIZE, SIGXFSZ ignored).
CliRun RunCli(const std::vector<std::string>& arguments, const std::filesystem::path& cwd,
              long fileSizeLimit = -1);

// The Windows command line for arguments: each one quoted where needed, backslashes
// before quotes doubled, as CommandLineToArgvW reads it back.
std::string WindowsCommandLine(const std::vector<std::string>& arguments);

}  // namespace quorvel::testing
