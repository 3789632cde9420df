#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quorvel::testing {

// What one run of quorvel-cli gave back.
struct CliRun {
    int status = -1;     // the exit status, -1 when the process did not exit normally
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
CliRun RunCli(const std::vector<std::string>& arguments, const std::filesystem::path& cwd, long fileSizeLimit = -1);

#ifndef _WIN32
// A quorvel-cli started and not yet waited for.
struct StartedCli {
    int pid = -1;
    std::string outName;  // the file standard output goes to, empty when it goes elsewhere
    std::string errName;
};

// Starts quorvel-cli as RunCli does and returns at once. stdoutFd, when 0 or more, is
// its standard output instead of a file (a pipe, /dev/full); the child closes every
// other copy of it.
StartedCli StartCli(const std::vector<std::string>& arguments, const std::filesystem::path& cwd,
                    long fileSizeLimit = -1, int stdoutFd = -1);

// Waits for a started quorvel-cli to end and collects what it wrote.
CliRun FinishCli(const StartedCli& started);
#endif

// The Windows command line for arguments: each one quoted where needed, backslashes
// before quotes doubled, as CommandLineToArgvW reads it back.
std::string WindowsCommandLine(const std::vector<std::string>& arguments);

}  // namespace quorvel::testing
