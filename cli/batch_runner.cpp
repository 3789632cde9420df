#include "batch_runner.hpp"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>

#include "quorvel/batch/file_names.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/memory_limit.hpp"
#include "json_report.hpp"
#include "memory_gate.hpp"
#include "ordered_pool.hpp"
#include "result_line.hpp"
#include "stop_signals.hpp"

namespace quorvel::cli {
namespace {

namespace fs = std::filesystem;
using engine::ReplacePolicy;

// Set on the calling thread when its last engine call left an existing output alone:
// the name was taken after the batch was planned.
thread_local bool outputWasTaken = false;

// The engine calls of a batch run without -f: nothing is ever replaced, and a refused
// output is noted (outputWasTaken) so that its line reads like the planner's.
class NeverReplacingCalls final : public batch::EngineCalls {
public:
    int ConvertToType0(const fs::path& inName, const fs::path& outName) override {
        try {
            return Real().ConvertToType0(inName, outName);
        } catch (const engine::OutputFileExists&) {
            outputWasTaken = true;
            throw;
        }
    }
    int ConvertToType1(const fs::path& inName, const fs::path& outName) override {
        try {
            return Real().ConvertToType1(inName, outName);
        } catch (const engine::OutputFileExists&) {
            outputWasTaken = true;
            throw;
        }
    }
    std::optional<std::string> CopyFileFailIfExists(const fs::path& inName, const fs::path& outName) override {
        std::optional<std::string> reason = Real().CopyFileFailIfExists(inName, outName);
        if (reason && *reason == engine::OutputFileExists().what()) outputWasTaken = true;
        return reason;
    }

private:
    static batch::EngineCalls& Real() { return batch::RealEngineCalls(ReplacePolicy::NeverReplace); }
};

// One file's part of a batch: its outcome, or nothing for a file that was not run to
// the end before a stop (its line is not printed).
struct Outcome {
    std::optional<batch::FileOutcome> result;
};

}  // namespace

bool WriteOut(std::ostream& out, std::ostream& err, const std::string& text) {
    errno = 0;
    out << text << std::flush;
    if (out) return true;
    const int error = errno;
    // A reader that has gone (quorvel-cli ... | head -1) wants no more lines and no message.
    if (error != EPIPE) {
        err << "quorvel-cli: cannot write the results: " << (error != 0 ? std::strerror(error) : "write error")
            << std::endl;
    }
    RequestStop(1);
    return false;
}

batch::EngineCalls& CliEngineCalls(bool force) {
    static NeverReplacingCalls neverReplacing;
    return force ? batch::RealEngineCalls(ReplacePolicy::Replace) : static_cast<batch::EngineCalls&>(neverReplacing);
}

int RunBatch(const std::vector<InputFile>& inputs, const BatchOptions& options, std::ostream& out,
             std::ostream& err, ProgressBar* progress) {
    const BatchInProgress running;
    ResultReport report(options, BatchOutcomeNames());
    if (inputs.empty()) {
        WriteOut(out, err, report.Final(batch::NoFilesSelectedText));
        return StopStatus() != 0 ? StopStatus() : 2;
    }
    const std::vector<PlannedFile> plan = PlanBatch(inputs, options);
    const std::size_t count = plan.size();
    batch::EngineCalls& engine = CliEngineCalls(options.force);
    OutputFolders folders;  // those left empty go when the batch ends, stopped or not
    // With one file at a time there is nothing to share: no file sizes are looked up.
    const bool gated = options.jobs > 1 && count > 1;
    MemoryGate gate(engine::MemoryLimit());

    const auto convert = [&](std::size_t i) -> Outcome {
        std::uint64_t reserved = 0;
        if (gated) {
            std::error_code ec;
            const std::uintmax_t size = plan[i].refusal ? 0 : fs::file_size(plan[i].input.path, ec);
            reserved = ec || size == 0 ? 0 : engine::ConversionMemoryEstimate(size);
            gate.Enter(i, reserved);
        }
        const auto leave = [&] {
            if (gated) gate.Leave(reserved);
        };
        if (StopStatus() != 0) {
            leave();
            return {};  // no new file after a stop
        }
        outputWasTaken = false;
        batch::FileOutcome result = ResultOf(options.kind, plan[i], engine, &folders);
        leave();
        if (outputWasTaken) {
            const PlannedFile& file = plan[i];
            result = {batch::FileOutcome::Kind::Skipped, -1,
                      batch::FormatMessage("%s - %s exists in %s, not replaced (use -f)",
                                           {file.shownName, PrintableName(batch::Utf8FromPath(file.outputPath.filename())),
                                            file.outputIn})};
        }
        // A file still converting when the stop came is abandoned: its temporary file
        // is gone, and whatever it ended with is no result of its own.
        if (StopStatus() != 0) return {};
        return {std::move(result)};
    };

    bool allConverted = true;
    bool writing = true;
    std::size_t delivered = 0;
    RunInOrder<Outcome>(count, options.jobs, convert, [&](std::vector<Outcome>&& ready, std::size_t finished) {
        if (!ready.empty() && progress) progress->Clear();
        std::string lines;
        for (std::size_t k = 0; k < ready.size(); ++k) {
            if (!ready[k].result) continue;
            const batch::FileOutcome& result = *ready[k].result;
            allConverted = allConverted && result.Succeeded();
            lines += report.File(plan[delivered + k], OutcomeName(result.kind), result.Succeeded(), result.code,
                                 result.text);
        }
        delivered += ready.size();
        if (writing && !lines.empty()) writing = WriteOut(out, err, lines);
        if (progress && delivered < count && StopStatus() == 0) progress->Show(finished);
    });
    if (progress) progress->Clear();

    if (StopStatus() != 0) return StopStatus();
    if (!WriteOut(out, err, report.Final(batch::Traits(options.kind).completionText))) return 1;
    return allConverted ? 0 : 1;
}

}  // namespace quorvel::cli
