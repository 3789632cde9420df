#include "quorvel/batch/batch_run.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include "quorvel/batch/job_count.hpp"
#include "quorvel/batch/memory_gate.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/ordered_pool.hpp"
#include "quorvel/batch/output_folders.hpp"
#include "quorvel/batch/window_folders.hpp"
#include "quorvel/engine/memory_limit.hpp"
#include "quorvel/engine/replace_policy.hpp"

namespace quorvel::batch {
namespace {

namespace fs = std::filesystem;
using Kind = FileOutcome::Kind;

// The outcome of a file that another file or process took the output name of after the
// plan was made, under the Refuse policy: the plan's own line for an existing output.
FileOutcome OutputTaken(const PlannedFile& file) {
    return {Kind::Skipped, -1,
            FormatMessage("%s - %s exists in %s, not replaced (use -f)",
                          {file.shownName, file.outputName, file.outputIn})};
}

// Runs the engine for one planned file; every exception becomes an outcome.
FileOutcome Attempt(const PlannedFile& file, BatchKind kind, EngineCalls& engine, ReplacementPolicy policy,
                    bool replaceAgreed) {
    const std::string& name = file.shownName;
    try {
        FileOutcome outcome = ConvertFile(kind, file.input.path, file.outputPath, name, engine, replaceAgreed);
        if (policy == ReplacementPolicy::Refuse && outcome.kind == Kind::Failed &&
            outcome.text == FormatMessage("%s - %s", {name, engine::OutputFileExists().what()}))
            return OutputTaken(file);  // the karaoke copy found the name taken
        return outcome;
    } catch (const engine::OutputFileExists&) {
        return OutputTaken(file);
    } catch (const std::exception& e) {
        return FailedOutcome(name, e);
    } catch (...) {
        return {Kind::Failed, -1, FormatMessage("%s - %s", {name, "unexpected error"}), true};
    }
}

// Converts one planned file that has no refusal: makes its output's folder (for an input
// from a folder below the one named) when missing, then runs the engine. Every exception
// becomes a failed outcome, so nothing escapes.
FileOutcome ConvertPlanned(const PlannedFile& file, BatchKind kind, EngineCalls& engine, ReplacementPolicy policy,
                           bool replaceAgreed, OutputFolders& folders) noexcept {
    const std::string& name = file.shownName;
    try {
        const bool below = !file.input.folder.empty();
        const fs::path folder = file.outputPath.has_parent_path() ? file.outputPath.parent_path() : fs::path(".");
        std::error_code ec;
        if (below && !folders.Make(folder, ec))
            return {Kind::Failed, -1,
                    FormatMessage("%s - cannot make the folder %s: %s", {name, file.outputIn, ec.message()})};
        FileOutcome outcome = Attempt(file, kind, engine, policy, replaceAgreed);
        if (outcome.fileError && !FolderExists(folder)) {
            // The output's folder went while the file converted (another run removed it
            // as empty): made again once, and the file tried again.
            if (below && folders.Make(folder, ec)) outcome = Attempt(file, kind, engine, policy, replaceAgreed);
            if (outcome.fileError && !FolderExists(folder))
                return {Kind::Failed, -1,
                        FormatMessage("%s - the output folder %s does not exist", {name, file.outputIn}), true};
        }
        return outcome;
    } catch (...) {
        // Not even the line could be built (no memory for it).
        return {Kind::Failed, -1, name, true};
    }
}

}  // namespace

void RunPlan(const std::vector<PlannedFile>& plan, BatchKind kind, EngineCalls& engine, const RunOptions& options,
             const std::function<void(std::vector<RunResult>&& ready, std::size_t finished)>& deliver) {
    const std::size_t count = plan.size();
    const bool asks = std::any_of(plan.begin(), plan.end(), [](const PlannedFile& file) { return file.ask; });
    // The sizes of the files converted, by plan index (0 for one that is not), looked up
    // once when workers are to share the memory or their number is chosen from them.
    // With one file at a time there is nothing to share: no size is looked up.
    std::vector<std::uint64_t> sizes;
    std::vector<std::uint64_t> converted;
    if (!asks && count > 1 && options.jobs != 1) {
        sizes.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            if (plan[i].refusal) continue;
            std::error_code ec;
            const std::uintmax_t size = fs::file_size(plan[i].input.path, ec);
            sizes[i] = ec ? 0 : size;
            converted.push_back(sizes[i]);
        }
    }
    const unsigned jobs = asks                       ? 1
                          : options.jobs == AutoJobs ? ChooseJobs(converted, CoreCount())
                                                     : std::max(options.jobs, 1u);
    OutputFolders folders;  // those left empty go when the batch ends, stopped or not
    const bool gated = jobs > 1 && count > 1;
    MemoryGate gate(engine::MemoryLimit());
    std::atomic<bool> ended{false};  // a file error ended the batch
    const auto stopping = [&] { return ended.load() || options.stopRequested(); };

    const auto run = [&](std::size_t i) -> RunResult {
        const PlannedFile& file = plan[i];
        std::uint64_t reserved = 0;
        if (gated) {
            reserved = sizes[i] == 0 ? 0 : engine::ConversionMemoryEstimate(sizes[i]);
            gate.Enter(i, reserved);
        }
        const auto leave = [&] {
            if (gated) gate.Leave(reserved);
        };
        if (stopping()) {
            leave();
            return {i, std::nullopt};  // no new file after a stop
        }
        options.started(i);
        std::optional<FileOutcome> outcome = file.refusal;
        if (!outcome && file.ask && !options.confirm(file)) outcome = DeclinedOutcome(file.shownName);
        // A file asked about and not declined: the user agreed to replace.
        if (!outcome) outcome = ConvertPlanned(file, kind, engine, options.policy, file.ask, folders);
        leave();
        if (options.endOnFileError && outcome->fileError) ended = true;
        // A file the stop cut short (its temporary file removed) says nothing of the
        // file; one that finished, its output under its final name, has its line.
        if (options.dropRunningOnStop && outcome->fileError && options.stopRequested()) return {i, std::nullopt};
        return {i, std::move(outcome)};
    };
    RunInOrder<RunResult>(count, jobs, run, deliver);
}

}  // namespace quorvel::batch
