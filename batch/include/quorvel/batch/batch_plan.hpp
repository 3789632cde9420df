#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/convert_file.hpp"

namespace quorvel::batch {

// One input of a batch: a file picked in a window, named on the command line, or found
// in a folder named there.
struct BatchInput {
    std::filesystem::path path;  // as it is opened
    std::string displayName;     // the file's name without its directory (UTF-8)
    // A folder that could not be listed: the input stands for it, with this reason.
    std::optional<std::string> error;
    // Recursive listings: the file's folder relative to the folder named, UTF-8 with the
    // platform's separator; empty otherwise. The output goes into the same folder below
    // the output directory.
    std::string folder = {};

    // The name lines show: the folder (if any) and the display name.
    std::string ShownName() const;
};

// What a batch does with an output name that something stands at already.
enum class ReplacementPolicy {
    Refuse,   // leave it and skip the file (quorvel-cli without -f)
    Replace,  // replace a file there (quorvel-cli -f; the windows without the prompt)
    Ask,      // ask the user first (the windows with "Prompt Before Overwriting Files")
};

// What stands at an output name when the batch is planned.
enum class OutputTarget {
    Nothing,       // nothing, or a symbolic link to nothing (the output is written where it leads)
    File,          // a plain file (a symbolic link to one followed)
    Input,         // the input itself: the file would be converted onto itself
    ReadOnlyFile,  // a plain file without write permission: never replaced
    Folder,        // a folder (a symbolic link to one followed)
    Other,         // anything else that is not a plain file (a device, a pipe, a socket)
};

// How lines name files: as they are (the windows) or escaped to stay on one line and
// send no terminal codes (quorvel-cli, PrintableName).
enum class NameStyle { AsIs, Printable };

// How lines name the output directory when quorvel-cli was given none.
inline constexpr const char* CurrentDirectoryLabel = "the current directory";

struct PlanOptions {
    BatchKind kind = BatchKind::Smf0;
    std::filesystem::path outputDirectory = ".";
    std::string outputLabel = CurrentDirectoryLabel;  // how lines name the output directory
    ReplacementPolicy policy = ReplacementPolicy::Refuse;
    NameStyle names = NameStyle::Printable;
};

// One file of a batch, after the checks that come before any conversion.
struct PlannedFile {
    BatchInput input;
    std::filesystem::path outputPath;
    std::string shownName;   // the input's ShownName as lines print it
    std::string outputName;  // the output's file name (no folder) as lines print it
    // How lines name the output's folder: the output directory's label, with the input's
    // folder below it.
    std::string outputIn = {};
    OutputTarget target = OutputTarget::Nothing;
    // The file's outcome when it is not handed to the engine (skipped, refused or failed).
    std::optional<FileOutcome> refusal = std::nullopt;
    // True when the user is to be asked before the output replaces what is there.
    bool ask = false;
};

// The output path of an input: the output directory, the input's folder below it (if
// any), the input's name cut at its first "." and the batch's extension.
std::filesystem::path OutputPathOf(const BatchInput& input, const std::filesystem::path& outputDirectory,
                                   BatchKind kind);

// Plans a batch before any conversion starts: every output path (OutputPathOf), what
// stands at it (OutputTarget), and which files are not converted and why:
// - an input that could not be listed (failed) or is not a plain file (refused);
// - the output-name rule (CheckOutputNames: an output that is another input of the
//   batch, or that an earlier input already claims; skipped), whatever the policy;
// - a read-only file at the output ("File access denied", a file error), whatever the
//   policy;
// - with Refuse, anything at the output: the input itself or another file (skipped);
// - a folder or anything else that is not a plain file at the output (failed).
// With Ask, a file at the output (the input itself included) is asked about (ask set).
// Reads the disk (file status, link targets); writes nothing.
std::vector<PlannedFile> PlanBatch(const std::vector<BatchInput>& inputs, const PlanOptions& options);

// The question a window asks before an output replaces what is at its name.
std::string ReplaceQuestion(const PlannedFile& file);

}  // namespace quorvel::batch
