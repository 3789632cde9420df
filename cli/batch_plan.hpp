#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/convert_file.hpp"
#include "input_list.hpp"

namespace quorvel::cli {

// How lines name the output directory when none was given.
inline constexpr const char* CurrentDirectoryLabel = "the current directory";

struct BatchOptions {
    batch::BatchKind kind = batch::BatchKind::Smf0;
    std::filesystem::path outputDirectory = ".";
    std::string outputLabel = CurrentDirectoryLabel;  // how lines name the output directory
    bool force = false;                                 // replace existing output files
    unsigned jobs = 1;                                  // conversions running at once
    bool quiet = false;                                 // leave out the lines of converted files
    bool json = false;                                  // JSON objects instead of text lines
};

// One file of a batch, after the checks that come before any conversion.
struct PlannedFile {
    InputFile input;
    std::filesystem::path outputPath;
    // The file's line when it is not handed to the engine (skipped or refused).
    std::optional<std::string> refusal;
    // The input's shown name (InputFile::ShownName) as lines print it (see PrintableName).
    std::string shownName;
    // What a refusal counts as: Skipped (the output exists, is the input itself, or is
    // another input's), Refused (not a regular file) or Failed (not listed, read-only output).
    batch::FileOutcome::Kind refusalKind = batch::FileOutcome::Kind::Skipped;
    // How lines name the output's folder: the output directory's label, with the input's
    // folder below it (printable).
    std::string outputIn = {};
};

// Works out every output path (the output directory, the input's folder, the output
// name) and decides, before any conversion starts, which files
// are not converted and why: an input that could not be listed or is not a regular
// file; the output-name rule (batch::OutputNameRefusals: an output that is another
// input of the run, or that an earlier input already claims), with or without force; a
// read-only output ("File access denied", with or without force); without force, an
// output that is the input itself or that exists. Names in the lines are printable
// (PrintableName). Reads the disk (file status, link targets); writes nothing.
std::vector<PlannedFile> PlanBatch(const std::vector<InputFile>& inputs, const BatchOptions& options);

}  // namespace quorvel::cli
