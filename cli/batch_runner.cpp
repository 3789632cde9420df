#include "batch_runner.hpp"

#include <cerrno>
#include <cstring>
#include <string>

#include "quorvel/batch/batch_run.hpp"
#include "quorvel/batch/engine_calls.hpp"
#include "quorvel/batch/messages.hpp"
#include "json_report.hpp"
#include "stop_signals.hpp"

namespace quorvel::cli {

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

std::vector<batch::PlannedFile> PlanFor(const std::vector<InputFile>& inputs, const BatchOptions& options) {
    return batch::PlanBatch(inputs,
                            {options.kind, options.outputDirectory, options.outputLabel,
                             options.force ? batch::ReplacementPolicy::Replace : batch::ReplacementPolicy::Refuse,
                             batch::NameStyle::Printable});
}

int RunBatch(const std::vector<InputFile>& inputs, const BatchOptions& options, std::ostream& out, std::ostream& err,
             ProgressBar* progress) {
    const BatchInProgress running;
    ResultReport report(options, BatchOutcomeNames());
    if (inputs.empty()) {
        WriteOut(out, err, report.Final(batch::NoFilesSelectedText));
        return StopStatus() != 0 ? StopStatus() : 2;
    }
    const std::vector<batch::PlannedFile> plan = PlanFor(inputs, options);
    batch::RunOptions run;
    run.jobs = options.jobs;
    run.policy = options.force ? batch::ReplacementPolicy::Replace : batch::ReplacementPolicy::Refuse;
    // A file still converting when a signal came is abandoned: its temporary file is
    // gone, and whatever it ended with is no result of its own.
    run.dropRunningOnStop = true;
    run.stopRequested = [] { return StopStatus() != 0; };
    batch::EngineCalls& engine = batch::RealEngineCalls(options.force ? engine::ReplacePolicy::Replace
                                                                      : engine::ReplacePolicy::NeverReplace);

    bool allConverted = true;
    bool writing = true;
    std::size_t delivered = 0;
    batch::RunPlan(plan, options.kind, engine, run, [&](std::vector<batch::RunResult>&& ready, std::size_t finished) {
        if (!ready.empty() && progress) progress->Clear();
        std::string lines;
        for (const batch::RunResult& result : ready) {
            if (!result.outcome) continue;
            const batch::FileOutcome& outcome = *result.outcome;
            allConverted = allConverted && outcome.Succeeded();
            lines += report.File(plan[result.index], OutcomeName(outcome), outcome.Succeeded(), outcome.code,
                                 outcome.text);
        }
        delivered += ready.size();
        if (writing && !lines.empty()) writing = WriteOut(out, err, lines);
        if (progress && delivered < plan.size() && StopStatus() == 0) progress->Show(finished);
    });
    if (progress) progress->Clear();

    if (StopStatus() != 0) return StopStatus();
    if (!WriteOut(out, err, report.Final(batch::Row(options.kind).completionText))) return 1;
    return allConverted ? 0 : 1;
}

}  // namespace quorvel::cli
