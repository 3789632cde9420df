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

// The output-name rule of a batch, for one file.
struct OutputNameCheck {
    // Set when the file must not be written: its output names another input of the batch
    // ("x.kar - output name x.mid is another input of this batch, not converted"), or an
    // earlier file already claims that output ("a.x.mid - same output name as a.b.c.mid,
    // not converted").
    std::optional<std::string> refusal;
    // True when the output is the file's own input (FileKey), which the rule leaves to
    // the replacement policy.
    bool ownInput = false;
};

// The output-name rule of a batch, one entry per file, in order. Every file whose output
// is not another input claims that output in order, whatever becomes of it, so the
// outcome does not hang on any conversion.
std::vector<OutputNameCheck> CheckOutputNames(const std::vector<NamedOutput>& files);

}  // namespace quorvel::batch
