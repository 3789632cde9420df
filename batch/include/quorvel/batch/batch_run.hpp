#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "quorvel/batch/batch_plan.hpp"
#include "quorvel/batch/engine_calls.hpp"
#include "quorvel/batch/job_count.hpp"

namespace quorvel::batch {

// How a planned batch runs.
struct RunOptions {
    // Conversions at once, on worker threads (one: on the calling thread); AutoJobs:
    // chosen from the files' sizes (ChooseJobs). A plan that asks the user anything runs
    // one file at a time, so that its questions come in order.
    unsigned jobs = 1;
    ReplacementPolicy policy = ReplacementPolicy::Refuse;  // the plan's
    // The windows end a batch on a file error (FileOutcome::fileError): no file starts after it.
    bool endOnFileError = false;
    // quorvel-cli drops the file error of a file that was still converting when the stop
    // came (the stop removed its temporary file, so the error says nothing of the file);
    // every other outcome, a finished output above all, keeps its line. The windows
    // report everything.
    bool dropRunningOnStop = false;
    // Asked before each file starts, from any worker: true once the batch is to stop.
    std::function<bool()> stopRequested = [] { return false; };
    // Told that file index starts, from any worker.
    std::function<void(std::size_t index)> started = [](std::size_t) {};
    // Asked, one file at a time and in input order, before a file whose plan says ask is
    // converted: true to replace, false to skip it (DeclinedOutcome).
    std::function<bool(const PlannedFile&)> confirm = [](const PlannedFile&) { return false; };
};

// One file's part of a run, handed back in input order: its outcome, or nothing for a
// file that did not run (a stop, or the end of the batch on a file error, came first).
struct RunResult {
    std::size_t index;
    std::optional<FileOutcome> outcome;
};

// Runs a planned batch: each file's refusal, or its conversion with engine through its
// kind's engine entry (ConvertPlanned), on up to options.jobs workers admitted in input
// order by the memory the conversions take (MemoryGate, with the engine's memory limit).
// deliver(ready, finished) gets, on the calling thread, the results that have become next
// in input order (possibly none) and how many files are finished so far, each time either
// changes. Folders made for outputs below the output directory and left empty are
// removed at the end. Returns when every result was delivered; never throws from a
// conversion (every exception becomes a failed outcome).
void RunPlan(const std::vector<PlannedFile>& plan, BatchKind kind, EngineCalls& engine, const RunOptions& options,
             const std::function<void(std::vector<RunResult>&& ready, std::size_t finished)>& deliver);

}  // namespace quorvel::batch
