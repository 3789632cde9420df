#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quorvel::testing {

// What one run of quorvel-cli gave back.
struct CliRun {
    int status = -1;  // the exit status, -1 when the process did not exit normally
    std::string out;  // standard output
    std::string err;  // standard error
    // Standard output split at line feeds (the last, empty piece dropped).
    std::vector<std::string> Lines() const;
};

// Runs the quorvel-cli built alongside the tests with arguments, in directory cwd,
// standard output and error captured in files (so neither is a terminal). A
// fileSizeLimit of 0 or more caps every file the program writes at that many bytes, as
// a full disk would (RLIMIT_FSIZE, SIGXFSZ ignored).
CliRun RunCli(const std::vector<std::string>& arguments, const std::filesystem::path& cwd,
              long fileSizeLimit = -1);

}  // namespace quorvel::testing
