#include "command_line.hpp"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <span>
#include <vector>

#include "quorvel/batch/file_names.hpp"
#include "batch_runner.hpp"
#include "dry_run.hpp"
#include "info_report.hpp"
#include "json_report.hpp"
#include "input_list.hpp"
#include "progress.hpp"
#include "quorvel/batch/batch_run.hpp"
#include "quorvel/batch/job_count.hpp"
#include "quorvel/batch/printable_name.hpp"
#include "quorvel/engine/inspection.hpp"
#include "quorvel/engine/memory_limit.hpp"

#ifndef QUORVEL_VERSION
#error "QUORVEL_VERSION must be defined by the build"
#endif

namespace quorvel::cli {
namespace {

constexpr int UsageError = 2;

struct BatchArguments {
    std::string outputDirectory;
    bool force = false;
    unsigned jobs = 1;
    bool quiet = false;
    std::string maxMemory;
    bool recursive = false;
    bool json = false;
    bool dryRun = false;
    std::vector<std::string> files;
};

// An empty argument names no file; refuse it as a usage error.
CLI::Validator NonEmpty() {
    return CLI::Validator([](std::string& value) { return value.empty() ? std::string("empty file name") : ""; }, "",
                          "NonEmpty");
}

// A memory size: a whole number of bytes, or of K, M or G (1024, 1024^2, 1024^3 bytes;
// either case, "B" or "iB" may follow). Nothing for anything else.
std::optional<std::uint64_t> ParseMemorySize(const std::string& value) {
    std::size_t digits = 0;
    while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9') ++digits;
    std::string unit = value.substr(digits);
    for (char& ch : unit) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
    int shift = -1;
    if (unit.empty() || unit == "B")
        shift = 0;
    else if (unit == "K" || unit == "KB" || unit == "KIB")
        shift = 10;
    else if (unit == "M" || unit == "MB" || unit == "MIB")
        shift = 20;
    else if (unit == "G" || unit == "GB" || unit == "GIB")
        shift = 30;
    if (digits == 0 || digits > 12 || shift < 0) return std::nullopt;
    const std::uint64_t number = std::stoull(value.substr(0, digits));
    // Past 2^64 bytes the size cannot be held: said as such, not wrapped around.
    if (number > (UINT64_MAX >> shift)) return UINT64_MAX;
    return number << shift;
}

constexpr std::uint64_t SmallestMemoryLimit = std::uint64_t{1} << 20;

void AddMemoryOption(CLI::App& command, std::string& maxMemory) {
    command
        .add_option("--max-memory", maxMemory,
                    "Memory for the files converted at a time, in all: a number with K, M or G, at least 1M "
                    "(default 1G); a file that needs more is refused")
        ->check(CLI::Validator(
            [](std::string& value) {
                const std::optional<std::uint64_t> bytes = ParseMemorySize(value);
                if (!bytes) return "not a memory size (such as 512M or 2G): " + value;
                if (*bytes < SmallestMemoryLimit) return "a memory limit below 1M: " + value;
                if (*bytes == UINT64_MAX) return "a memory size past 2^64 bytes, out of range: " + value;
                return std::string();
            },
            "SIZE", "SIZE"));
}

// Sets the engine's limit from a --max-memory given (checked by the option already).
void ApplyMemoryOption(const std::string& maxMemory) {
    if (!maxMemory.empty()) engine::SetMemoryLimit(ParseMemorySize(maxMemory).value_or(engine::DefaultMemoryLimit));
}

// An existing directory, its UTF-8 name read as such on every platform (CLI11's own
// check reads it in the ANSI code page on Windows); the same texts as CLI11's check.
CLI::Validator ExistingDirectory() {
    return CLI::Validator(
        [](std::string& value) {
            std::error_code ec;
            const std::filesystem::file_status status = std::filesystem::status(batch::PathFromUtf8(value), ec);
            if (!std::filesystem::exists(status)) return "Directory does not exist: " + value;
            if (!std::filesystem::is_directory(status)) return "Directory is actually a file: " + value;
            return std::string();
        },
        "DIR", "DIR");
}

CLI::App* AddBatchCommand(CLI::App& app, const std::string& name, const std::string& description,
                          BatchArguments& arguments) {
    CLI::App* command = app.add_subcommand(name, description);
    command->add_option("-o,--output", arguments.outputDirectory, "Output directory (default: the current directory)")
        ->check(ExistingDirectory());
    command->add_flag("-f,--force", arguments.force, "Replace existing output files, the input itself included");
    command
        ->add_option("-j,--jobs", arguments.jobs,
                     "Files converted at a time (default: one per core when the files average " +
                         engine::MemorySizeText(batch::ParallelMeanBytes) +
                         " or more, else one: smaller files wait on the file system, not the processor)")
        ->check(CLI::Range(1u, 1024u));
    command->add_flag("-q,--quiet", arguments.quiet,
                      "Print only files not converted and the final line; no progress bar");
    AddMemoryOption(*command, arguments.maxMemory);
    command->add_flag("-r,--recursive", arguments.recursive,
                      "A directory stands for every *.mid and *.kar file below it; outputs keep their folders "
                      "below the output directory. Links to folders are not followed, links to files are");
    command->add_flag("--json", arguments.json,
                      "One JSON object per file, then a summary object, instead of the lines (-q changes nothing)");
    command->add_flag("--dry-run", arguments.dryRun,
                      "Print what would be written, replaced, skipped or refused, and convert nothing");
    command->add_option("files", arguments.files, "MIDI files, or directories standing for their *.mid and *.kar files")
        ->required()
        ->check(NonEmpty());
    return command;
}

int RunBatchCommand(batch::BatchKind kind, const BatchArguments& arguments, std::ostream& out, std::ostream& err) {
    ApplyMemoryOption(arguments.maxMemory);
    BatchOptions options;
    options.kind = kind;
    if (!arguments.outputDirectory.empty()) {
        options.outputDirectory = batch::PathFromUtf8(arguments.outputDirectory);
        options.outputLabel = arguments.outputDirectory;
    }
    options.force = arguments.force;
    options.jobs = arguments.jobs;
    options.quiet = arguments.quiet;
    options.json = arguments.json;
    const std::vector<InputFile> inputs = ExpandInputs(arguments.files, arguments.recursive);
    if (arguments.dryRun) return RunDryRun(inputs, options, out, err);
    std::unique_ptr<ProgressBar> progress;
    if (!arguments.quiet && StandardErrorIsTerminal() && !inputs.empty())
        progress = std::make_unique<ProgressBar>(err, inputs.size());
    return RunBatch(inputs, options, out, err, progress.get());
}

int RunInfoCommand(const std::vector<std::string>& files, bool json, std::ostream& out, std::ostream& err) {
    int status = 0;
    for (const std::string& file : files) {
        // Named as given: reports on files of several folders stay apart.
        const std::filesystem::path path = batch::PathFromUtf8(file);
        std::error_code ec;
        const auto type = std::filesystem::status(path, ec);
        engine::Inspection info;
        if (std::filesystem::exists(type) && !std::filesystem::is_regular_file(type))
            info.readError = "not a regular file";  // a directory or a device: not opened at all
        else
            info = engine::InspectFile(path);
        // Standard output closed or full: said on standard error (unless the reader has
        // gone), and nobody reads the rest.
        if (!WriteOut(out, err, json ? InfoJson(file, info) + '\n' : FormatInfo(batch::PrintableName(file), info)))
            return 1;
        if (!info.WellFormed()) status = 1;
    }
    return status;
}

}  // namespace

int RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Quorvel converts Standard MIDI Files between format 0 and format 1, in batches.", "quorvel-cli"};
    // Paths may start with "/" on Windows too: no "/option" spellings (CLI11's default there).
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string("quorvel-cli ") + QUORVEL_VERSION);
    app.require_subcommand(1);
    app.footer(
        "A directory stands for its *.mid and *.kar files; with -r for those in it and in every folder\n"
        "below it (in each folder its files, then its subfolders, by name ignoring case; symbolic links\n"
        "to folders are not followed, links to files are), each output in the same folder below the\n"
        "output directory, made when needed. Outputs are named after the input, cut at its first \".\",\n"
        "with .mid or .kar. Names are printed with control characters escaped: \\t, \\n, \\r, \\\\ for a\n"
        "backslash, \\xNN for any other control character and for each byte that is not UTF-8.\n"
        "--json writes one object per line: per file \"input\", \"output\", \"outcome\" (converted, copied,\n"
        "refused, malformed, too-large, failed, skipped; with --dry-run would-convert, would-replace,\n"
        "would-skip, would-refuse, would-fail), \"code\" (the converter's result code or null) and\n"
        "\"message\" (the line as printed), then a summary (\"counts\", \"seconds\"). A name that is not\n"
        "valid UTF-8 has U+FFFD for each invalid byte, and its exact bytes in hex in \"input_bytes\",\n"
        "\"output_bytes\" (info: \"file_bytes\"); on Windows a name with an unpaired surrogate has its\n"
        "UTF-16 code units in \"input_utf16\", \"output_utf16\" (little-endian, hex). --dry-run writes\n"
        "nothing and reads no contents: it looks at inputs, links and output folders as the real run\n"
        "will; its exit status is 0 when every file would be converted.\n"
        "Exit status: 0 every file converted, 1 some file skipped, refused or failed (info: some file\n"
        "malformed, incomplete or unreadable) or the output could not be written, 2 usage error,\n"
        "130/143/129 stopped by SIGINT/SIGTERM/SIGHUP (the lines of finished files printed, no temporary\n"
        "file left). Without -f no existing file is ever replaced; a read-only output is never replaced.");

    // One subcommand per batch kind.
    const std::span<const batch::BatchKindRow> kinds = batch::KindRows();
    std::vector<BatchArguments> batchArguments(kinds.size());
    std::vector<CLI::App*> batchCommands;
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        batchArguments[k].jobs = batch::AutoJobs;
        batchCommands.push_back(AddBatchCommand(app, std::string(kinds[k].subcommand), std::string(kinds[k].summary),
                                                batchArguments[k]));
    }

    std::vector<std::string> infoFiles;
    std::string infoMaxMemory;
    bool infoJson = false;
    CLI::App* infoCommand = app.add_subcommand("info",
                                               "Describe MIDI files: header, events, channels, lyrics, problems");
    infoCommand->add_flag("--json", infoJson, "One JSON object per file with the same fields");
    AddMemoryOption(*infoCommand, infoMaxMemory);
    infoCommand->add_option("files", infoFiles, "MIDI files")->required()->check(NonEmpty());

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        // --help and --version end with 0 once their text is out; every other parse
        // error is a usage error.
        if (code == 0) return WriteOut(out, err, "") ? 0 : 1;
        return UsageError;
    }

    for (std::size_t k = 0; k < kinds.size(); ++k)
        if (batchCommands[k]->parsed()) return RunBatchCommand(kinds[k].kind, batchArguments[k], out, err);
    if (infoCommand->parsed()) {
        ApplyMemoryOption(infoMaxMemory);
        return RunInfoCommand(infoFiles, infoJson, out, err);
    }
    return UsageError;
}

}  // namespace quorvel::cli
