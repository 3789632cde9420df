#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::batch {

// One file of a batch as the output-name rule sees it.
struct NamedOutput {
    std::filesystem::path input;   // the input as it is opened
    std::filesystem::path output;  // where its output would be written
    std::string displayName;       // how lines name the input
    std::string outputName;        // how lines name the output file (no directory)
};

// The key under which a path is compared with others: absolute, with "." and ".." and
// the symbolic links of its existing part resolved, letters folded to upper case where
// the file system ignores case (Windows, macOS). Reads the disk (link targets only).
std::filesystem::path::string_type FileKey(const std::filesystem::path& path);

// True when two paths name one file by FileKey: exactly on Linux, ignoring case on Windows.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// The output-name rule of a batch, one entry per file, in order; set when the file must
// not be written: its output names another input of the batch ("x.kar - output name
// x.mid is another input of this batch, not converted"), or an earlier file already
// claims that output ("a.x.mid - same output name as a.b.c.mid, not converted"). Every
// file claims its output in order, whatever becomes of it, so the outcome does not hang
// on any conversion. An output that is the file's own input is left to the front end.
std::vector<std::optional<std::string>> OutputNameRefusals(const std::vector<NamedOutput>& files);

}  // namespace quorvel::batch
