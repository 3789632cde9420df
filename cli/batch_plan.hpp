#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "quorvel/batch/batch_kind.hpp"
#include "input_list.hpp"

namespace quorvel::cli {

struct BatchOptions {
    batch::BatchKind kind = batch::BatchKind::Smf0;
    std::filesystem::path outputDirectory = ".";
    std::string outputLabel = "the current directory";  // how lines name the output directory
    bool force = false;                                 // replace existing output files
    unsigned jobs = 1;                                  // conversions running at once
    bool quiet = false;                                 // leave out the lines of converted files
};

// One file of a batch, after the checks that come before any conversion.
struct PlannedFile {
    InputFile input;
    std::filesystem::path outputPath;
    // The file's line when it is not handed to the engine (skipped or refused).
    std::optional<std::string> refusal;
    // The input's display name as lines print it (see PrintableName).
    std::string shownName;
};

// Works out every output path and decides, before any conversion starts, which files
// are not converted and why: an input that could not be listed or is not a regular
// file; the output-name rule (batch::OutputNameRefusals: an output that is another
// input of the run, or that an earlier input already claims), with or without force; a
// read-only output ("File access denied", with or without force); without force, an
// output that is the input itself or that exists. Names in the lines are printable
// (PrintableName). Reads the disk (file status, link targets); writes nothing.
std::vector<PlannedFile> PlanBatch(const std::vector<InputFile>& inputs, const BatchOptions& options);

}  // namespace quorvel::cli
